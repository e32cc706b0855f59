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

// The name of the VGA 8 x 8 console font shipped with the program.
inline constexpr const char* bundledFontName = "FullCyrSlav-VGA8.psf.gz";

// The console font the grid's pictures are drawn in (the window, the frame
// tool, the recorder): the system's own VGA 8 x 8 font from
// /usr/share/consolefonts, else the shipped copy in the installed data
// folder, else beside the program; empty when there is none.
std::string findConsoleFont(const std::string& programFolder);
