#include "host/command_line.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

#include "host/frame_loop.h"
#include "host/option_scan.h"
#include "host/song_search.h"
#include "platform/sound_library.h"
#include "platform/present/presenter.h"

#ifndef COMPOFILLER_VERSION
#define COMPOFILLER_VERSION "unknown"
#endif

namespace {

// Every option, in the order the usage and --help list them. One table drives
// the parser, the usage line and the help's two columns.
enum class OptionKind { number, choice, flag, help, version };

struct Option {
    const char* name;
    const char* value;  // what its value is called, null when it takes none
    const char* help;
    OptionKind kind;
    int CommandLine::*number = nullptr;
    int lowest = 0;
    int highest = 0;
    bool CommandLine::*flag = nullptr;
    Palette CommandLine::*palette = nullptr;
};

// The words --palette takes, in the order of Palette's values.
constexpr const char* paletteWords[] = {"vga", "terminal"};

constexpr Option optionTable[] = {
    {.name = "--fps", .value = "N", .help = "frames per second, 1 to 1000 (default 60); 0 runs them back to back",
     .kind = OptionKind::number, .number = &CommandLine::framesPerSecond, .lowest = 0, .highest = 1000},
    {.name = "--audio-delay", .value = "MS",
     .help = "show the song's events MS later than the sound (-1000 to 1000, default 0), for outputs that lag",
     .kind = OptionKind::number, .number = &CommandLine::audioDelayMs, .lowest = -1000, .highest = 1000},
    {.name = "--palette", .value = "vga|terminal",
     .help = "the demo's own VGA colours on black (default), or the terminal theme's own 16",
     .kind = OptionKind::choice, .palette = &CommandLine::palette},
    {.name = "--stats", .value = nullptr,
     .help = "at the end, print frames per second, late frames, CPU share, bytes sent (in the window: bytes of "
             "the pixels handed to it) and the time from the cells to the screen",
     .kind = OptionKind::flag,
     .flag = &CommandLine::stats},
    {.name = "--window", .value = nullptr,
     .help = "show the demo in a window of its own as the PC's text mode showed it (square cells in the VGA "
             "font), not in the terminal",
     .kind = OptionKind::flag, .flag = &CommandLine::window},
    {.name = "--help", .value = nullptr, .help = "print this help and exit", .kind = OptionKind::help},
    {.name = "--version", .value = nullptr, .help = "print the version and exit", .kind = OptionKind::version},
};

// Stores the value of `option`; returns the problem when it is not one the
// option takes, else "".
std::string storeValue(const Option& option, const char* value, CommandLine& line) {
    const std::string name = option.name;
    long long number = 0;
    if (option.kind == OptionKind::number) {
        if (!readNumber<long long>(value, option.lowest, option.highest, number))
            return name + " takes a whole number from " + std::to_string(option.lowest) + " to " +
                   std::to_string(option.highest) + ", not '" + value + "'";
        line.*option.number = static_cast<int>(number);
        return "";
    }
    for (std::size_t i = 0; i < std::size(paletteWords); ++i) {
        if (std::strcmp(value, paletteWords[i]) == 0) {
            line.*option.palette = static_cast<Palette>(i);
            return "";
        }
    }
    return name + " takes " + paletteWords[0] + " or " + paletteWords[1] + ", not '" + value + "'";
}

// `text` broken at spaces into lines of at most `width` characters (a word
// longer than that stands alone on its line).
std::vector<std::string> wrapWords(const std::string& text, std::size_t width) {
    std::vector<std::string> lines;
    std::string line;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            lines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

constexpr std::size_t helpWidth = 80;

}  // namespace

CommandAction parseCommandLine(int argc, const char* const* argv, CommandLine& line, std::string& problem) {
    const auto refuse = [&problem](const std::string& why) {
        problem = why;
        return CommandAction::bad;
    };
    std::vector<LongOption> names;
    for (const Option& option : optionTable) names.push_back({option.name, option.value != nullptr});
    bool moduleGiven = false;
    for (const Argument& argument : readArguments(argc, argv, names, '\'')) {
        const std::string& value = argument.value;
        if (argument.option == Argument::bad) return refuse(value);
        if (argument.option == Argument::operand) {
            if (moduleGiven) return refuse("one module at most, not '" + value + "' as well");
            if (value.empty()) return refuse("the module's name is empty");
            line.module = value;
            moduleGiven = true;
            continue;
        }
        const Option& known = optionTable[argument.option];
        switch (known.kind) {
            case OptionKind::help:
                return CommandAction::help;
            case OptionKind::version:
                return CommandAction::version;
            case OptionKind::flag:
                line.*known.flag = true;
                break;
            case OptionKind::number:
            case OptionKind::choice:
                if (const std::string why = storeValue(known, value.c_str(), line); !why.empty()) return refuse(why);
                break;
        }
    }
    if (line.window && line.palette == Palette::terminal)
        return refuse("--palette terminal takes a terminal's own colours, which --window has not");
    return CommandAction::run;
}

std::string usageLine() {
    std::string text = "usage: compofiller";
    for (const Option& option : optionTable) {
        if (option.kind == OptionKind::help || option.kind == OptionKind::version) continue;
        text += std::string(" [") + option.name + (option.value != nullptr ? std::string(" ") + option.value : "") + "]";
    }
    return text + " [MODULE]";
}

std::string helpText() {
    // The usage, wrapped under its own first word.
    const std::string usage = usageLine();
    const std::string lead = "usage: compofiller ";
    std::string text;
    std::string indent = lead;
    for (const std::string& part : wrapWords(usage.substr(lead.size()), helpWidth - lead.size())) {
        text += indent + part + "\n";
        indent.assign(lead.size(), ' ');
    }
    text += "\n"
            "A text-mode demo: plays its tracker song and animates nine scenes on an\n"
            "80 x 50 character grid, in step with the music. It ends with the song.\n\n";

    // Two columns: the option and its value, then what it does, wrapped.
    struct Entry {
        std::string left;
        const char* help;
    };
    std::vector<Entry> entries{{"MODULE", "play this module file instead of the bundled song"}};
    for (const Option& option : optionTable)
        entries.push_back({std::string(option.name) + (option.value != nullptr ? std::string(" ") + option.value : ""),
                           option.help});
    std::size_t column = 0;
    for (const Entry& entry : entries) column = std::max(column, 2 + entry.left.size() + 2);
    for (const Entry& entry : entries) {
        std::string left = "  " + entry.left;
        for (const std::string& part : wrapWords(entry.help, helpWidth - column)) {
            left.resize(column, ' ');
            text += left + part + "\n";
            left.clear();
        }
    }
    text += "\nKeys: Esc quits; Ctrl-C and Ctrl-Z work as usual. In the window, Esc or its\n"
            "close button quits, F11 or Alt+Enter toggles fullscreen, and Ctrl-C interrupts\n"
            "the program as in a terminal.\n"
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
    // A module named here that cannot be played is the caller's mistake: one
    // line says which file and why, before the terminal is touched. The
    // bundled song's failure is told by the message box of the music set-up.
    if (!options.module.empty()) {
        const std::string why = moduleLoadProblem(options.module.c_str());
        if (!why.empty()) {
            std::fprintf(stderr, "compofiller: %s: %s\n", options.module.c_str(), why.c_str());
            return 1;
        }
    }
    // The presenter is chosen before anything is shown: where the window
    // cannot open, one line says why, as for a module that cannot be loaded.
    PresenterRequest request;
    request.window = options.window;
    request.palette = options.palette == Palette::terminal ? ConsolePalette::terminal : ConsolePalette::vga;
    request.fontPath = findConsoleFont(executableFolder());
    request.framesPerSecond = options.framesPerSecond;
    const std::string why = choosePresenter(request);
    if (!why.empty()) {
        std::fprintf(stderr, "compofiller: --window: %s\n", why.c_str());
        return 1;
    }
    // Lives until the program ends: the song is read from it.
    static std::string songPath;
    songPath = options.module.empty() ? findSong(executableFolder()) : options.module;
    DemoSettings settings;
    settings.framesPerSecond = options.framesPerSecond;
    settings.songPath = songPath.c_str();
    settings.printStats = options.stats;
    settings.audioDelayMs = options.audioDelayMs;
    return runDemo(settings);
}
