#include "host/song_search.h"

#include <filesystem>
#include <system_error>

#ifndef COMPOFILLER_DATA_FROM_BIN
#define COMPOFILLER_DATA_FROM_BIN "../share/compofiller"
#endif

namespace {

bool isFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

}  // namespace

std::string findSong(const std::string& programFolder) {
    if (isFile(bundledSongName) || programFolder.empty()) return bundledSongName;
    const std::string candidates[] = {
        programFolder + "/" COMPOFILLER_DATA_FROM_BIN "/" + bundledSongName,
        programFolder + "/" + bundledSongName,
    };
    for (const std::string& path : candidates) {
        if (isFile(path)) return path;
    }
    return bundledSongName;
}
