#pragma once
// Where the bundled song is looked for when no module is named.
#include <string>

#include "platform/program_folder.h"

// The name the song is looked for under.
inline constexpr const char* bundledSongName = "QUILLOW3.oxm";

// The song to play: QUILLOW3.oxm in the working folder, else in the installed
// data folder (found from `programFolder`, so a moved install still works),
// else beside the program. When none is there, the plain name, so that the
// load fails and says so as it would have in the working folder.
std::string findSong(const std::string& programFolder);
