// The command line: what each form asks for, what a bad one does to the
// terminal (nothing), and where the song is found when none is named.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <pty.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "host/command_line.h"
#include "host/song_search.h"
#include "tests/support/xm_test_modules.h"

namespace {

const std::string program = COMPOFILLER_BUILD_DIR "/compofiller";

CommandAction parse(std::vector<const char*> args, CommandLine& options, std::string* problem = nullptr) {
    args.insert(args.begin(), "compofiller");
    std::string said;
    const CommandAction action = parseCommandLine(static_cast<int>(args.size()), args.data(), options, said);
    if (problem != nullptr) *problem = said;
    return action;
}

// What the program did when started with `args` on a terminal of its own: its
// exit status, every byte it sent to the terminal, what it wrote to stderr,
// and whether the terminal's modes were left as they were.
struct TerminalRun {
    int status = -1;
    std::string terminal;
    std::string errors;
    bool modesKept = false;
};

TerminalRun runOnATerminal(const std::vector<std::string>& args) {
    TerminalRun run;
    int master = -1, slave = -1;
    winsize size{50, 80, 0, 0};
    if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0) return run;
    int errorPipe[2];
    if (::pipe(errorPipe) != 0) return run;
    termios before{};
    ::tcgetattr(slave, &before);
    const pid_t child = ::fork();
    if (child == 0) {
        ::setsid();
        ::ioctl(slave, TIOCSCTTY, 0);
        ::dup2(slave, 0);
        ::dup2(slave, 1);
        ::dup2(errorPipe[1], 2);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(errorPipe[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(master, buffer, sizeof buffer)) > 0) run.terminal.append(buffer, static_cast<std::size_t>(n));
    while ((n = ::read(errorPipe[0], buffer, sizeof buffer)) > 0) run.errors.append(buffer, static_cast<std::size_t>(n));
    termios after{};
    ::tcgetattr(slave, &after);
    run.modesKept = before.c_lflag == after.c_lflag && before.c_iflag == after.c_iflag &&
                    before.c_oflag == after.c_oflag;
    ::close(errorPipe[0]);
    ::close(master);
    ::close(slave);
    return run;
}

void touch(const std::string& path) { std::ofstream(path) << "x"; }

}  // namespace

TEST(CommandLine, AcceptsEachGoodForm) {
    CommandLine options;
    EXPECT_EQ(parse({}, options), CommandAction::run);
    EXPECT_EQ(options.framesPerSecond, 60);
    EXPECT_FALSE(options.stats);
    EXPECT_EQ(options.module, "");

    options = {};
    EXPECT_EQ(parse({"--fps", "0", "song.xm", "--stats"}, options), CommandAction::run);
    EXPECT_EQ(options.framesPerSecond, 0);
    EXPECT_TRUE(options.stats);
    EXPECT_EQ(options.module, "song.xm");

    options = {};
    EXPECT_EQ(parse({"--fps=1000", "--", "-odd name.mod"}, options), CommandAction::run);
    EXPECT_EQ(options.framesPerSecond, 1000);
    EXPECT_EQ(options.module, "-odd name.mod");

    options = {};
    EXPECT_EQ(parse({"--fps", "1"}, options), CommandAction::run);
    EXPECT_EQ(options.framesPerSecond, 1);
    EXPECT_EQ(options.audioDelayMs, 0);
    EXPECT_EQ(parse({"--audio-delay", "-1000"}, options), CommandAction::run);
    EXPECT_EQ(options.audioDelayMs, -1000);
    EXPECT_EQ(parse({"--audio-delay=250"}, options), CommandAction::run);
    EXPECT_EQ(options.audioDelayMs, 250);
    EXPECT_EQ(options.palette, Palette::vga);
    EXPECT_EQ(parse({"--palette", "terminal"}, options), CommandAction::run);
    EXPECT_EQ(options.palette, Palette::terminal);
    EXPECT_EQ(parse({"--palette=vga"}, options), CommandAction::run);
    EXPECT_EQ(options.palette, Palette::vga);
    EXPECT_EQ(parse({"x.xm", "--help"}, options), CommandAction::help);
    EXPECT_EQ(parse({"-h"}, options), CommandAction::help);
    EXPECT_EQ(parse({"--version"}, options), CommandAction::version);
}

TEST(CommandLine, RefusesEachBadFormSayingWhy) {
    const std::vector<std::vector<const char*>> bad = {
        {"--fps"},          {"--fps", "-1"},   {"--fps", "1001"}, {"--fps", "60x"},  {"--fps", ""},
        {"--fps="},         {"--fps", " 60"},  {"--fps", "1e2"},  {"--fps", "99999999999999999999"},
        {"--frames", "60"}, {"-x"},            {"--fpsx=3"},      {"a.xm", "b.xm"},  {""},
        {"--audio-delay", "1001"}, {"--audio-delay", "-1001"}, {"--audio-delay"},
        {"--palette"},      {"--palette", "VGA"}, {"--palette="}, {"--stats=1"},
        {"--window", "--palette", "terminal"}, {"--window=1"},
        {"--fp", "60"},     {"--win"},  // getopt_long would take these beginnings of names; whole names only
    };
    for (const auto& args : bad) {
        CommandLine options;
        std::string problem;
        std::string shown;
        for (const char* a : args) shown += std::string("'") + a + "' ";
        EXPECT_EQ(parse(args, options, &problem), CommandAction::bad) << shown;
        EXPECT_FALSE(problem.empty()) << shown;
    }
}

TEST(CommandLine, BadFormsExitWithTwoAndLeaveTheTerminalAlone) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--fps", "2000"}, {"--bogus"}, {"one.xm", "two.xm"}, {"--fps"}}) {
        SCOPED_TRACE(args[0]);
        const TerminalRun run = runOnATerminal(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.terminal, "") << "nothing is sent to the terminal";
        EXPECT_TRUE(run.modesKept);
        EXPECT_EQ(run.errors.find("compofiller: "), 0u) << run.errors;
        EXPECT_NE(run.errors.find("usage: compofiller [--fps N]"), std::string::npos) << run.errors;
        EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << "one line: " << run.errors;
    }
    const TerminalRun help = runOnATerminal({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.terminal.find("Esc"), std::string::npos);
    EXPECT_EQ(help.terminal.find("\x1b"), std::string::npos) << "help is plain text";
    const TerminalRun version = runOnATerminal({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.terminal.find("compofiller 1."), 0u) << version.terminal;
}

// The help's option entries: what each says starts in one column, at least
// two spaces after the option, and lines going on from an entry start there
// too; nothing passes 80 columns.
TEST(CommandLine, HelpListsEveryOptionInTwoColumnsWithin80) {
    std::istringstream help(helpText());
    std::string line;
    bool inEntries = false;
    std::size_t column = 0;
    int entries = 0;
    while (std::getline(help, line)) {
        EXPECT_LE(line.size(), 80u) << line;
        inEntries = inEntries || line.rfind("  MODULE", 0) == 0;
        if (!inEntries) continue;
        if (line.empty()) break;
        const bool continued = line[2] == ' ';
        const std::size_t gap = continued ? 0 : line.find("  ", 2);
        ASSERT_NE(gap, std::string::npos) << "no gap after the option: " << line;
        const std::size_t text = line.find_first_not_of(' ', gap);
        if (column == 0) column = text;
        EXPECT_EQ(text, column) << line;
        entries += continued ? 0 : 1;
    }
    EXPECT_EQ(entries, 8) << "MODULE, --fps, --audio-delay, --palette, --stats, --window, --help, --version";
}

TEST(CommandLine, ANamedModuleThatCannotBeLoadedIsToldOnOneLineAndLeavesTheTerminalAlone) {
    const std::string folder = testmodules::makeTempFolder("cf-badmodule");
    const std::string notAModule = folder + "/notes.xm";
    std::ofstream(notAModule) << "not a tracker module, only a few words of text\n";
    const std::pair<std::string, std::string> cases[] = {
        {folder + "/no-such-file.xm", "No such file or directory"},
        {folder, "not a regular file"},
        {notAModule, "not a module libopenmpt can load"},
    };
    for (const auto& [path, why] : cases) {
        SCOPED_TRACE(path);
        const TerminalRun run = runOnATerminal({path});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.terminal, "") << "no screen, no message box";
        EXPECT_TRUE(run.modesKept);
        EXPECT_EQ(run.errors.find("compofiller: " + path + ": "), 0u) << run.errors;
        EXPECT_NE(run.errors.find(why), std::string::npos) << run.errors;
        EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << "one line: " << run.errors;
    }
    EXPECT_EQ(std::system(("rm -rf '" + folder + "'").c_str()), 0);
}

TEST(SongSearch, WorkingFolderThenDataFolderThenBesideTheProgram) {
    const std::string root = testmodules::makeTempFolder("cf-songs");
    const std::string bin = root + "/prefix/bin";
    const std::string data = root + "/prefix/share/compofiller";
    const std::string work = root + "/work";
    for (const std::string& f : {root + "/prefix", bin, root + "/prefix/share", data, work}) ::mkdir(f.c_str(), 0755);
    char* previous = ::getcwd(nullptr, 0);
    ASSERT_EQ(::chdir(work.c_str()), 0);

    EXPECT_EQ(findSong(bin), "QUILLOW3.oxm") << "none anywhere: the plain name, which fails as before";
    touch(bin + "/QUILLOW3.oxm");
    EXPECT_EQ(findSong(bin), bin + "/QUILLOW3.oxm");
    touch(data + "/QUILLOW3.oxm");
    EXPECT_EQ(findSong(bin), bin + "/../share/compofiller/QUILLOW3.oxm");
    ::mkdir("QUILLOW3.oxm", 0755);
    EXPECT_EQ(findSong(bin), bin + "/../share/compofiller/QUILLOW3.oxm") << "a folder of that name is no song";
    ::rmdir("QUILLOW3.oxm");
    touch(work + "/QUILLOW3.oxm");
    EXPECT_EQ(findSong(bin), "QUILLOW3.oxm");
    EXPECT_EQ(findSong(""), "QUILLOW3.oxm");

    ASSERT_EQ(::chdir(previous), 0);
    std::free(previous);
    EXPECT_EQ(std::system(("rm -rf '" + root + "'").c_str()), 0);
}
