#include "host/song_search.h"

#include <filesystem>
#include <system_error>

#include "platform/common/psf_font.h"

#ifndef COMPOFILLER_DATA_FROM_BIN
#define COMPOFILLER_DATA_FROM_BIN "../share/compofiller"
#endif

namespace {

bool isFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

// `name` in the installed data folder, else beside the program; empty when
// in neither.
std::string findInstalledFile(const std::string& programFolder, const char* name) {
    if (programFolder.empty()) return "";
    const std::string candidates[] = {
        programFolder + "/" COMPOFILLER_DATA_FROM_BIN "/" + name,
        programFolder + "/" + name,
    };
    for (const std::string& path : candidates) {
        if (isFile(path)) return path;
    }
    return "";
}

}  // namespace

std::string findSong(const std::string& programFolder) {
    if (isFile(bundledSongName)) return bundledSongName;
    const std::string installed = findInstalledFile(programFolder, bundledSongName);
    return installed.empty() ? bundledSongName : installed;
}

std::string findConsoleFont(const std::string& programFolder) {
    const std::string system = defaultConsoleFontPath();
    return system.empty() ? findInstalledFile(programFolder, bundledFontName) : system;
}
