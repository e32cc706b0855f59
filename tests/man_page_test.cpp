// The manual pages the build makes: each renders without a complaint from
// man, and names the same options (and commands) as its program's --help.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <set>
#include <string>
#include <sys/wait.h>

#include "tests/support/ci_skip.h"
#include "tests/support/shell.h"

namespace {

using shelltest::run;

const std::string buildDir = COMPOFILLER_BUILD_DIR;

std::set<std::string> matches(const std::string& text, const std::regex& pattern) {
    std::set<std::string> found;
    for (std::sregex_iterator at(text.begin(), text.end(), pattern), end; at != end; ++at)
        found.insert((*at)[at->size() > 1 ? 1 : 0].str());
    return found;
}

std::string joined(const std::set<std::string>& words) {
    std::string text;
    for (const std::string& w : words) text += w + " ";
    return text;
}

// The body of the page's section `name`, up to the next heading.
std::string section(const std::string& page, const std::string& name) {
    const std::size_t start = page.find("\n" + name + "\n");
    if (start == std::string::npos) return "";
    static const std::regex heading("\n[A-Z]");
    std::smatch next;
    const std::string rest = page.substr(start + name.size() + 2);
    return std::regex_search(rest, next, heading) ? rest.substr(0, std::size_t(next.position(0))) : rest;
}

struct Page {
    const char* program;
    const char* section;
};

}  // namespace

TEST(ManPages, EachRendersCleanlyAndNamesWhatItsProgramsHelpNames) {
    if (std::system("command -v man >/dev/null 2>&1") != 0) SKIP_OR_FAIL_ON_CI() << "man (man-db) is not installed";
    const std::regex option("--[a-z][a-z0-9-]*[a-z0-9]");
    for (const Page& page : {Page{"compofiller", "6"}, Page{"compofiller-song", "1"}, Page{"compofiller-frame", "1"},
                             Page{"compofiller-record", "1"}}) {
        SCOPED_TRACE(page.program);
        std::string help, text, complaints;
        ASSERT_EQ(run(buildDir + "/" + page.program + " --help", &help), 0);
        const std::string file = buildDir + "/man/" + page.program + "." + page.section + ".gz";
        const std::string man = "LC_ALL=C MANWIDTH=200 man --warnings -l " + file;
        ASSERT_EQ(run(man + " 2>&1 >/dev/null", &complaints), 0);
        EXPECT_EQ(complaints, "");
        ASSERT_EQ(run(man + " 2>/dev/null", &text), 0);
        EXPECT_NE(text.find(std::string(page.program) + " - "), std::string::npos) << "NAME line\n" << text;

        // Options: those --help names, and those of the synopsis and the
        // page's list of options.
        const std::string synopsis = section(text, "SYNOPSIS");
        EXPECT_EQ(joined(matches(help, option)), joined(matches(synopsis + section(text, "OPTIONS"), option)));
        // Commands: the words after the program's name in the usage and in
        // the synopsis.
        const std::regex command(std::string(page.program) + " ([a-z]+)");
        EXPECT_EQ(joined(matches(help.substr(0, help.find("\n\n")), command)), joined(matches(synopsis, command)));
    }
}
