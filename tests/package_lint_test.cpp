// lintian's verdict on the Debian package made from this build.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <sys/wait.h>

#include "tests/support/ci_skip.h"
#include "tests/support/shell.h"
#include "tests/support/xm_test_modules.h"

using shelltest::run;

// No error, and no warning but two that belong to the package's nature:
// initial-upload-closes-no-bugs (the first changelog entry closes no Debian
// bug, as the package is not uploaded to Debian) and
// package-section-games-but-has-usr-bin (the tools beside the game are not
// games, so they stay in /usr/bin, on every user's path).
TEST(PackageLint, LintianFindsNoErrorAndOnlyTheExplainedWarnings) {
    std::string out;
    if (run("command -v lintian >/dev/null 2>&1", &out) != 0) SKIP_OR_FAIL_ON_CI() << "lintian is not installed";
    const std::string folder = testmodules::makeTempFolder("cf-lint");
    ASSERT_EQ(run(std::string("'") + COMPOFILLER_CPACK + "' -G DEB --config '" + COMPOFILLER_BUILD_DIR +
                      "/CPackConfig.cmake' -B '" + folder + "' >/dev/null 2>&1 && ls '" + folder + "'/*.deb",
                  &out), 0);
    const std::string deb = out.substr(0, out.find('\n'));
    run("lintian --no-cfg '" + deb + "' 2>/dev/null", &out);
    std::istringstream lines(out);
    std::string line, unexplained;
    while (std::getline(lines, line)) {
        if (line.find("initial-upload-closes-no-bugs") != std::string::npos ||
            line.find("package-section-games-but-has-usr-bin") != std::string::npos)
            continue;
        if (line.rfind("E: ", 0) == 0 || line.rfind("W: ", 0) == 0) unexplained += line + "\n";
    }
    EXPECT_EQ(unexplained, "");
    EXPECT_EQ(std::system(("rm -rf '" + folder + "'").c_str()), 0);
}
