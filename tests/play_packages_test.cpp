// What ./play.sh asks apt for on a machine with nothing installed: the list
// must resolve, and must bring no sound server, terminal emulator, X server or
// test, lint or packaging tool. apt only simulates (-s), against an empty
// status file; what it would install there is all a fresh machine can get.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/shell.h"
#include "tests/support/xm_test_modules.h"

namespace {

using shelltest::capture;
using shelltest::shellQuote;

std::vector<std::string> playList() {
    std::vector<std::string> names;
    std::ifstream in(std::string(COMPOFILLER_SOURCE_DIR) + "/scripts/packages/play.txt");
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
    const std::regex forbidden(
        "pulseaudio|pipewire|pipewire-.*|wireplumber|jackd.*|"  // sound servers
        "xterm|kitty|alacritty|rxvt-unicode|stterm|gnome-terminal|konsole|tmux|"  // terminals
        "xserver-.*|xvfb|xwayland|xdotool|"  // X servers and their tools
        "lintian|dpkg-dev|man-db|imagemagick.*|googletest|libgtest-dev|libbenchmark-dev|"  // test and package tools
        "libpng-dev|libav.*-dev|libsw.*-dev|console-setup-linux");  // the frame tool's and recorder's needs
    std::istringstream lines(out);
    std::string line, unwanted;
    while (std::getline(lines, line)) {
        if (line.rfind("Inst ", 0) != 0) continue;
        const std::string name = line.substr(5, line.find(' ', 5) - 5);
        if (std::regex_match(name, forbidden)) unwanted += name + " ";
    }
    EXPECT_EQ(unwanted, "") << "play.txt pulls in what only the tests need";
    // The compiler and the libraries' headers are in it: the list resolved to
    // a real install, not to nothing.
    EXPECT_NE(out.find("Inst g++ "), std::string::npos);
    EXPECT_NE(out.find("Inst libsdl2-dev "), std::string::npos);
}
