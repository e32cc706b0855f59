// What ./play.sh asks apt for on a machine with nothing installed: the list
// must resolve, and must bring no sound server, terminal emulator, X server or
// test, lint or packaging tool. apt only simulates (-s), against an empty
// status file; what it would install there is all a fresh machine can get.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/shell.h"
#include "tests/support/xm_test_modules.h"

namespace {

using shelltest::capture;
using shelltest::shellQuote;

// A name in `names`, or starting with one of `prefixes`.
bool listed(const std::string& name, const std::vector<std::string>& names, const std::vector<std::string>& prefixes) {
    for (const std::string& n : names) {
        if (name == n) return true;
    }
    for (const std::string& p : prefixes) {
        if (name.rfind(p, 0) == 0) return true;
    }
    return false;
}

std::vector<std::string> playList() {
    std::vector<std::string> names;
    std::ifstream in(COMPOFILLER_SOURCE_DIR "/scripts/packages/play.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string name;
        if (words >> name && name[0] != '#') names.push_back(name);
    }
    return names;
}

}  // namespace

TEST(PlayPackages, AFreshMachineGetsTheDemosNeedsAndNoTestRig) {
    if (capture("apt-cache show cmake >/dev/null 2>&1 && echo yes") != "yes\n") {
        GTEST_SKIP() << "apt has no package lists here (apt-get update was never run)";
    }
    const std::vector<std::string> names = playList();
    ASSERT_GE(names.size(), 5u) << "scripts/packages/play.txt is missing or nearly empty";

    const std::string folder = testmodules::makeTempFolder("cf-play-packages");
    const std::string status = folder + "/status";
    std::ofstream{status};
    std::string command = "apt-get -s --no-install-recommends -o Dir::State::status=" + shellQuote(status) +
                          " install";
    for (const std::string& name : names) command += " " + shellQuote(name);
    const std::string out = capture(command + " 2>&1; echo status $?");
    std::system(("rm -rf " + shellQuote(folder)).c_str());
    ASSERT_NE(out.find("status 0\n"), std::string::npos) << out;

    // Every package apt would install ("Inst NAME ..."), judged by its name.
    const std::vector<std::string> forbidden = {
        // Sound servers, terminals, X servers and their tools.
        "pulseaudio", "pipewire", "wireplumber", "xterm", "kitty", "alacritty", "rxvt-unicode", "stterm",
        "gnome-terminal", "konsole", "tmux", "xvfb", "xwayland", "xdotool",
        // Test, lint and packaging tools, and what only the frame tool and the
        // recorder need.
        "lintian", "dpkg-dev", "man-db", "googletest", "libgtest-dev", "libbenchmark-dev", "libpng-dev",
        "console-setup-linux"};
    const std::vector<std::string> forbiddenPrefixes = {"pipewire-", "jackd", "xserver-", "imagemagick",
                                                        "libavcodec-dev", "libavformat-dev", "libswscale-dev"};
    std::istringstream lines(out);
    std::string line, unwanted;
    while (std::getline(lines, line)) {
        if (line.rfind("Inst ", 0) != 0) continue;
        const std::string name = line.substr(5, line.find(' ', 5) - 5);
        if (listed(name, forbidden, forbiddenPrefixes)) unwanted += name + " ";
    }
    EXPECT_EQ(unwanted, "") << "play.txt pulls in what only the tests need";
    // The compiler and the libraries' headers are in it: the list resolved to
    // a real install, not to nothing.
    EXPECT_NE(out.find("Inst g++ "), std::string::npos);
    EXPECT_NE(out.find("Inst libsdl2-dev "), std::string::npos);
}
