// compofiller-song, run as a program on small modules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/support/shell.h"
#include "tests/support/xm_test_modules.h"

using testmodules::put;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

// Runs the tool with the arguments (already quoted); stderr is discarded
// unless `errors` sends it elsewhere ("2>&1").
ToolRun runTool(const std::string& arguments, const std::string& errors = "2>/dev/null") {
    ToolRun run;
    run.status = shelltest::run(std::string(COMPOFILLER_BUILD_DIR) + "/compofiller-song " + arguments + " " + errors,
                                &run.out);
    return run;
}

class SongTool : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = testmodules::makeTempFolder("song-tool");
        auto module = testmodules::emptyModule(2, 3, 2, 4, 3, 125);
        module.instruments[2].name = "kick drum";
        put(module, 0, 0, 0, 49, 1);
        put(module, 0, 2, 1, 49, 3);
        put(module, 1, 1, 0, 49, 2);
        path = testmodules::writeModule(module, folder, "tool.xm");
    }
    static std::string folder;
    static std::string path;
};

std::string SongTool::folder;
std::string SongTool::path;

TEST_F(SongTool, InfoShowsFormatOrdersDurationAndOneBasedInstruments) {
    ToolRun run = runTool("info '" + path + "'");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("format: xm"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("orders: 2"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("(0.480 s)"), std::string::npos) << run.out;  // 8 rows of 3 ticks of 882
    EXPECT_NE(run.out.find("   3  kick drum\n"), std::string::npos) << run.out;
}

TEST_F(SongTool, TriggersListsEveryNoteWithZeroBasedInstruments) {
    ToolRun run = runTool("triggers '" + path + "'");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "0 0 0 0 0\n5292 0 2 1 2\n13230 1 1 0 1\n");
    // Longer than the song: it repeats.
    ToolRun longer = runTool("triggers '" + path + "' --seconds 1");
    EXPECT_EQ(longer.status, 0);
    EXPECT_EQ(std::count(longer.out.begin(), longer.out.end(), '\n'), 7);  // 3 + 3 + 1
}

TEST_F(SongTool, WavIsSixteenBitStereoOfTheAskedLength) {
    const std::string out = folder + "/out.wav";
    ToolRun run = runTool("wav '" + path + "' '" + out + "' --seconds 0.5");
    ASSERT_EQ(run.status, 0);
    std::ifstream in(out, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t frames = 22050;
    ASSERT_EQ(bytes.size(), 44 + frames * 4);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    auto le = [&](std::size_t at, int n) {
        unsigned value = 0;
        for (int i = n - 1; i >= 0; --i) value = value * 256 + bytes[at + static_cast<std::size_t>(i)];
        return value;
    };
    EXPECT_EQ(le(22, 2), 2u);       // channels
    EXPECT_EQ(le(24, 4), 44100u);   // rate
    EXPECT_EQ(le(34, 2), 16u);      // bits
    EXPECT_EQ(le(40, 4), frames * 4);
    bool sound = false;
    for (std::size_t i = 44; i < bytes.size(); ++i) sound = sound || bytes[i] != 0;
    EXPECT_TRUE(sound);
    std::remove(out.c_str());
}

TEST_F(SongTool, BadInputGivesOneLineAndStatusOne) {
    const std::string bad = folder + "/bad.xm";
    std::ofstream(bad) << "definitely not a module";
    const ToolRun run = runTool("info '" + bad + "'", "2>&1");
    const std::string& text = run.out;
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_EQ(text.rfind("compofiller-song: ", 0), 0u) << text;
    EXPECT_EQ(runTool("triggers '" + folder + "/missing.xm'").status, 1);
    EXPECT_EQ(runTool("wav '" + bad + "' '" + folder + "/x.wav'").status, 1);
    EXPECT_EQ(runTool("triggers '" + path + "' --seconds nope").status, 2);
    EXPECT_EQ(runTool("frobnicate").status, 2);
}

}  // namespace
