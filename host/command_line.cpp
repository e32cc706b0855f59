#include "host/command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/frame_loop.h"
#include "host/song_search.h"

#ifndef COMPOFILLER_VERSION
#define COMPOFILLER_VERSION "unknown"
#endif

namespace {

// Options that take a whole number, with their range. One line each.
struct IntegerOption {
    const char* name;
    const char* value;
    int CommandLine::*field;
    int lowest;
    int highest;
    const char* help;
};
constexpr IntegerOption integerOptions[] = {
    {"--fps", "N", &CommandLine::framesPerSecond, 0, 1000,
     "frames per second, 1 to 1000 (default 60); 0 runs them back to back"},
    {"--audio-delay", "MS", &CommandLine::audioDelayMs, -1000, 1000,
     "show the song's events MS later than the sound (-1000 to 1000, default 0), for outputs that lag"},
};

// Options that take nothing.
struct FlagOption {
    const char* name;
    bool CommandLine::*field;
    const char* help;
};
constexpr FlagOption flagOptions[] = {
    {"--stats", &CommandLine::stats, "at the end, print frames per second, late frames, CPU share and bytes sent"},
};

// A whole decimal number, optionally signed, within [lowest, highest].
bool readInteger(const char* text, int lowest, int highest, int& value) {
    if (text == nullptr || *text == '\0' || std::strchr(" \t\n", *text) != nullptr) return false;
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed < lowest || parsed > highest) return false;
    value = static_cast<int>(parsed);
    return true;
}

}  // namespace

CommandAction parseCommandLine(int argc, const char* const* argv, CommandLine& options, std::string& problem) {
    bool moduleGiven = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--") {
                optionsEnded = true;
                continue;
            }
            if (arg == "--help" || arg == "-h") return CommandAction::help;
            if (arg == "--version") return CommandAction::version;
            bool known = false;
            if (arg == "--palette" || arg.starts_with("--palette=")) {
                if (arg == "--palette" && i + 1 >= argc) {
                    problem = "--palette needs a value";
                    return CommandAction::bad;
                }
                const std::string value = arg == "--palette" ? argv[++i] : arg.substr(10);
                if (value != "vga" && value != "terminal") {
                    problem = "--palette takes vga or terminal, not '" + value + "'";
                    return CommandAction::bad;
                }
                options.terminalPalette = value == "terminal";
                continue;
            }
            for (const FlagOption& flag : flagOptions) {
                if (arg == flag.name) {
                    options.*flag.field = true;
                    known = true;
                }
            }
            for (const IntegerOption& option : integerOptions) {
                const std::string name = option.name;
                const char* value = nullptr;
                if (arg == name) {
                    if (i + 1 >= argc) {
                        problem = name + " needs a value";
                        return CommandAction::bad;
                    }
                    value = argv[++i];
                } else if (arg.compare(0, name.size() + 1, name + "=") == 0) {
                    value = argv[i] + name.size() + 1;
                } else {
                    continue;
                }
                known = true;
                if (!readInteger(value, option.lowest, option.highest, options.*option.field)) {
                    problem = name + " takes a whole number from " + std::to_string(option.lowest) + " to " +
                              std::to_string(option.highest) + ", not '" + value + "'";
                    return CommandAction::bad;
                }
            }
            if (!known) {
                problem = "unknown option '" + arg + "'";
                return CommandAction::bad;
            }
            continue;
        }
        if (moduleGiven) {
            problem = "one module at most, not '" + arg + "' as well";
            return CommandAction::bad;
        }
        if (arg.empty()) {
            problem = "the module's name is empty";
            return CommandAction::bad;
        }
        options.module = arg;
        moduleGiven = true;
    }
    return CommandAction::run;
}

std::string usageLine() {
    std::string line = "usage: compofiller";
    for (const IntegerOption& option : integerOptions) line += std::string(" [") + option.name + " " + option.value + "]";
    for (const FlagOption& flag : flagOptions) line += std::string(" [") + flag.name + "]";
    return line + " [--palette vga|terminal] [MODULE]";
}

std::string helpText() {
    std::string text = usageLine() + "\n\n"
                       "A text-mode demo: plays its tracker song and animates nine scenes on an\n"
                       "80 x 50 character grid, in step with the music. It ends with the song.\n\n"
                       "  MODULE          play this module file instead of the bundled song\n";
    auto add = [&](std::string left, const char* help) {
        left = "  " + left;
        if (left.size() < 18) left.resize(18, ' ');
        text += left + help + "\n";
    };
    for (const IntegerOption& option : integerOptions) add(std::string(option.name) + " " + option.value, option.help);
    for (const FlagOption& flag : flagOptions) add(flag.name, flag.help);
    add("--palette NAME", "vga (default): the PC's 16 colours on black; terminal: the theme's own");
    add("--help", "print this help and exit");
    add("--version", "print the version and exit");
    text += "\nKeys: Esc quits; Ctrl-C and Ctrl-Z work as usual.\n"
            "Without MODULE the song QUILLOW3.oxm is looked for in the working folder,\n"
            "then in the installed data folder, then beside the program.\n";
    return text;
}

int runCommandLine(int argc, const char* const* argv) {
    CommandLine options;
    std::string problem;
    switch (parseCommandLine(argc, argv, options, problem)) {
        case CommandAction::help:
            std::fputs(helpText().c_str(), stdout);
            return 0;
        case CommandAction::version:
            std::printf("compofiller %s\n", COMPOFILLER_VERSION);
            return 0;
        case CommandAction::bad:
            std::fprintf(stderr, "compofiller: %s; %s\n", problem.c_str(), usageLine().c_str());
            return 2;
        case CommandAction::run:
            break;
    }
    // Lives until the program ends: the song is read from it.
    static std::string songPath;
    songPath = options.module.empty() ? findSong(executableFolder()) : options.module;
    DemoSettings settings;
    settings.framesPerSecond = options.framesPerSecond;
    settings.songPath = songPath.c_str();
    settings.printStats = options.stats;
    settings.audioDelayMs = options.audioDelayMs;
    settings.terminalPalette = options.terminalPalette;
    return runDemo(settings);
}
