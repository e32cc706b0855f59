#include "platform/program_folder.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <filesystem>

std::string executableFolder() {
    wchar_t path[32768];
    const DWORD length = GetModuleFileNameW(nullptr, path, 32768);
    if (length == 0 || length >= 32768) return "";
    // In the program's code page, as the song's name is opened.
    return std::filesystem::path(path).parent_path().string();
}
