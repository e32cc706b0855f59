#pragma once
// The command line: compofiller [--fps N] [--audio-delay MS] [--stats]
// [--palette vga|terminal] [MODULE],
// --help, --version.
#include <string>

struct CommandLine {
    int framesPerSecond = 60;  // 0: frames back to back
    int audioDelayMs = 0;      // song events later (positive) than the sound
    bool stats = false;        // a line of frame figures on stderr at the end
    bool terminalPalette = false;  // the terminal's own 16 colours, not the VGA ones
    std::string module;        // empty: look for the bundled song
};

// What the command line asks for.
enum class CommandAction { run, help, version, bad };

// Reads argv into `options`. On `bad`, `problem` says what is wrong in a few
// words. Options and MODULE may come in any order; "--" ends the options;
// integer options take "--name N" or "--name=N".
CommandAction parseCommandLine(int argc, const char* const* argv, CommandLine& options, std::string& problem);

// One line: the usage, without a line break.
std::string usageLine();

// The text --help prints.
std::string helpText();

// The program's entry: parses the command line, finds the song and plays it.
// A bad command line prints the problem and the usage on one line of stderr
// and returns 2 before the terminal is touched.
int runCommandLine(int argc, const char* const* argv);
