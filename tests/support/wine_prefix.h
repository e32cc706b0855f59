#pragma once
// Wine prefixes for the tests that run the Windows build: each test program
// gets a fresh one, copied from a prefix booted once for the build folder.
#include <string>
#include <vector>

namespace winetest {

inline const std::string wine = "/usr/lib/wine/wine64";

// Why Wine cannot run here (a missing program), or "".
std::string missingWine();

// Makes `prefix` a fresh Wine prefix: a copy (half a second) of one booted
// once for the build folder (about 11 s) and never run in. Returns why it
// could not, or "".
std::string makePrefix(const std::string& prefix);

// The environment that runs Wine in `prefix`, quietly and without the Mono
// and Gecko installers: as entries, and as words for a shell command.
std::vector<std::string> environment(const std::string& prefix);
std::string shellEnvironment(const std::string& prefix);

// Stops the wineserver of `prefix` and waits for it.
void stopServer(const std::string& prefix);

}  // namespace winetest
