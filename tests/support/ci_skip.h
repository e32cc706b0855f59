#pragma once
// A test that cannot run here because a tool is missing or a private server
// did not start: skipped, with the reason, on a developer's machine; failed,
// with the same reason, where CI runs (the environment variable CI is set),
// so that a green CI run never stands for checks that did not happen.
//
//     if (!server.ok()) SKIP_OR_FAIL_ON_CI() << "no PulseAudio server: " << server.why();
#include <cstdlib>
#include <string_view>

#include <gtest/gtest.h>

namespace citest {
inline bool onCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && *ci != '\0' && std::string_view(ci) != "false" && std::string_view(ci) != "0";
}
}  // namespace citest

#define SKIP_OR_FAIL_ON_CI()                                                                         \
    return GTEST_MESSAGE_AT_(__FILE__, __LINE__, citest::onCi() ? "Failed where CI runs: " : "",      \
                             citest::onCi() ? ::testing::TestPartResult::kFatalFailure                \
                                            : ::testing::TestPartResult::kSkip)
