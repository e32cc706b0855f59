#pragma once
// The command line: compofiller [--fps N] [--audio-delay MS]
// [--palette vga|terminal] [--stats] [--window] [MODULE], --help, --version.
#include <string>

// The colours the picture is shown in: the demo's own VGA palette on black,
// or the terminal theme's own 16 colours.
enum class Palette { vga, terminal };

struct CommandLine {
    int framesPerSecond = 60;  // 0: frames back to back
    int audioDelayMs = 0;      // song events later (positive) than the sound
    Palette palette = Palette::vga;
    bool stats = false;        // a line of frame figures on stderr at the end
    bool window = false;       // in a window of the program's own, not the terminal
    std::string module;        // empty: look for the bundled song
};

// What the command line asks for.
enum class CommandAction { run, help, version, bad };

// Reads argv into `options`, as host/option_scan.h reads a command line. On
// `bad`, `problem` says what is wrong in a few words. Options and MODULE may
// come in any order.
CommandAction parseCommandLine(int argc, const char* const* argv, CommandLine& options, std::string& problem);

// One line: the usage, without a line break.
std::string usageLine();

// The text --help prints: the usage, then one entry per option in two
// columns, every line within 80 columns.
std::string helpText();

// The program's entry: parses the command line, finds the song and plays it.
// A bad command line prints the problem and the usage on one line of stderr
// and returns 2 before the terminal is touched; so does a MODULE that cannot
// be read or loaded, with the file and the reason, returning 1, and
// --window where no window can be opened, with the reason, returning 1.
int runCommandLine(int argc, const char* const* argv);
