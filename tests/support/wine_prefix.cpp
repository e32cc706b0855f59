#include "tests/support/wine_prefix.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/shell.h"

namespace winetest {

using shelltest::shellQuote;

std::string missingWine() {
    for (const std::string& tool : {wine, std::string("/usr/bin/wineserver"), std::string("/usr/bin/wineboot")}) {
        if (::access(tool.c_str(), X_OK) != 0) return tool + " is missing (Wine)";
    }
    return "";
}

std::vector<std::string> environment(const std::string& prefix) {
    return {"WINEPREFIX=" + prefix, "WINEDLLOVERRIDES=mscoree,mshtml=", "WINEDEBUG=-all"};
}

std::string shellEnvironment(const std::string& prefix) {
    std::string words;
    for (const std::string& entry : environment(prefix)) words += (words.empty() ? "" : " ") + shellQuote(entry);
    return words;
}

std::string makePrefix(const std::string& prefix) {
    const std::string booted = COMPOFILLER_BUILD_DIR "/wine-prefix-booted";
    std::error_code ec;
    if (!std::filesystem::exists(booted + "/system.reg", ec)) {
        // Booted under another name, then renamed whole: test programs that
        // run side by side never copy a prefix half booted.
        const std::string booting = booted + "." + std::to_string(::getpid());
        const std::string env = shellEnvironment(booting);
        const int status = std::system(("env -u DISPLAY " + env + " wineboot -i >/dev/null 2>&1 && env " + env +
                                        " wineserver -w")
                                           .c_str());
        if (status == 0) std::filesystem::rename(booting, booted, ec);
        if (status != 0 || ec) std::filesystem::remove_all(booting, ec);
        if (status != 0) return "wineboot failed";
    }
    if (std::system(("cp -a " + shellQuote(booted) + " " + shellQuote(prefix)).c_str()) != 0)
        return "cannot copy the booted Wine prefix";
    return "";
}

void stopServer(const std::string& prefix) {
    std::system(("env " + shellEnvironment(prefix) + " wineserver -k 2>/dev/null; env " + shellEnvironment(prefix) +
                 " wineserver -w")
                    .c_str());
}

}  // namespace winetest
