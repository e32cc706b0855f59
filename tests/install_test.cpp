// The install and the Debian package, built from this build folder into
// temporary folders (nothing is installed on the machine).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

#include "tests/support/shell.h"
#include "tests/support/xm_test_modules.h"

namespace {

using shelltest::run;
using shelltest::shellQuote;

const std::string buildDir = COMPOFILLER_BUILD_DIR;

bool isFile(const std::string& path) {
    struct stat s{};
    return ::stat(path.c_str(), &s) == 0 && S_ISREG(s.st_mode);
}

// Starts the installed program in an empty folder with its output in a file,
// where it draws nothing and plays to the end: still playing after two
// seconds, with nothing said, means it found and loaded its song (a missing
// song ends it at once with status 1 and the failure message).
void expectItFindsItsSong(const std::string& programPath, const std::string& emptyFolder) {
    std::string err;
    const int status = run("cd " + shellQuote(emptyFolder) + " && timeout 2 " + shellQuote(programPath) +
                           " </dev/null >/dev/null 2>&1 2>err.txt; s=$?; cat err.txt; rm -f err.txt; exit $s", &err);
    EXPECT_EQ(status, 124) << "ended early: " << err;
    EXPECT_EQ(err, "");
}

}  // namespace

class Install : public ::testing::Test {
protected:
    void SetUp() override { folder = testmodules::makeTempFolder("cf-install"); }
    void TearDown() override { run("rm -rf " + shellQuote(folder)); }
    std::string folder;
};

TEST_F(Install, PutsEachFileInPlaceAndTheProgramFindsItsSongFromAnyFolder) {
    const std::string prefix = folder + "/prefix";
    ASSERT_EQ(run(shellQuote(COMPOFILLER_CMAKE) + " --install " + shellQuote(buildDir) + " --prefix " +
                  shellQuote(prefix) + " >/dev/null"), 0);
    for (const char* file : {"bin/compofiller", "bin/compofiller-song", "bin/compofiller-frame", "bin/compofiller-record",
                             "share/man/man6/compofiller.6.gz", "share/man/man1/compofiller-record.1.gz",
                             "share/compofiller/QUILLOW3.oxm", "share/compofiller/FullCyrSlav-VGA8.psf.gz",
                             "share/doc/compofiller/FullCyrSlav-VGA8.README", "share/applications/compofiller.desktop",
                             "share/icons/hicolor/16x16/apps/compofiller.png",
                             "share/icons/hicolor/256x256/apps/compofiller.png", "share/doc/compofiller/README.md",
                             "share/doc/compofiller/docs/scene-2-torus-rings.png"}) {
        EXPECT_TRUE(isFile(prefix + "/" + file)) << file;
    }
    std::string version;
    EXPECT_EQ(run("cd / && " + shellQuote(prefix + "/bin/compofiller") + " --version", &version), 0);
    EXPECT_EQ(version.find("compofiller 1."), 0u) << version;

    ::mkdir((folder + "/elsewhere").c_str(), 0755);
    expectItFindsItsSong(prefix + "/bin/compofiller", folder + "/elsewhere");
    // A prefix moved as a whole still works.
    ASSERT_EQ(::rename(prefix.c_str(), (folder + "/moved").c_str()), 0);
    expectItFindsItsSong(folder + "/moved/bin/compofiller", folder + "/elsewhere");
}

TEST_F(Install, DebianPackageHoldsTheInstallAndNamesItsLibraries) {
    std::string listing;
    ASSERT_EQ(run(shellQuote(COMPOFILLER_CPACK) + " -G DEB --config " + shellQuote(buildDir + "/CPackConfig.cmake") +
                  " -B " + shellQuote(folder) + " >/dev/null 2>&1 && ls " + shellQuote(folder),
                  &listing), 0);
    const auto at = listing.find("compofiller_");
    ASSERT_NE(at, std::string::npos) << listing;
    const std::string deb = folder + "/" + listing.substr(at, listing.find('\n', at) - at);

    std::string depends;
    ASSERT_EQ(run("dpkg-deb --field " + shellQuote(deb) + " Depends", &depends), 0);
    for (const char* library : {"libopenmpt0", "libsdl2-2.0-0", "libtinfo6", "libpng16-16", "zlib1g", "libc6",
                                "libavcodec", "libavformat", "libavutil", "libswscale", "libswresample"}) {
        EXPECT_NE(depends.find(library), std::string::npos) << depends;
    }
    std::string contents;
    ASSERT_EQ(run("dpkg-deb --contents " + shellQuote(deb), &contents), 0);
    for (const char* file : {"./usr/games/compofiller\n", "./usr/bin/compofiller-song\n", "./usr/bin/compofiller-frame\n",
                             "./usr/bin/compofiller-record\n", "./usr/share/compofiller/QUILLOW3.oxm\n",
                             "./usr/share/compofiller/FullCyrSlav-VGA8.psf.gz\n",
                             "./usr/share/applications/compofiller.desktop\n",
                             "./usr/share/icons/hicolor/48x48/apps/compofiller.png\n",
                             "./usr/share/doc/compofiller/README.md\n", "./usr/share/doc/compofiller/copyright\n",
                             "./usr/share/doc/compofiller/changelog.Debian.gz\n"}) {
        EXPECT_NE(contents.find(file), std::string::npos) << file << " missing from\n" << contents;
    }
    // The extracted program runs and finds the song beside it in the package's tree.
    ASSERT_EQ(run("dpkg-deb -x " + shellQuote(deb) + " " + shellQuote(folder + "/root")), 0);
    // The desktop entry starts the demo in its window, from the Games menu.
    const std::string entry = folder + "/root/usr/share/applications/compofiller.desktop";
    std::string complaints;
    EXPECT_EQ(run("desktop-file-validate " + shellQuote(entry) + " 2>&1", &complaints), 0) << complaints;
    EXPECT_EQ(complaints, "");
    std::string exec;
    run("grep -E '^(Exec|Categories|Icon)=' " + shellQuote(entry), &exec);
    EXPECT_EQ(exec, "Exec=compofiller --window\nIcon=compofiller\nCategories=Game;\n");
    std::string version;
    EXPECT_EQ(run(shellQuote(folder + "/root/usr/games/compofiller") + " --version", &version), 0);
    EXPECT_EQ(version.find("compofiller 1."), 0u) << version;
    // `man compofiller` finds the demo's page in the package's tree.
    if (run("command -v man >/dev/null") == 0) {
        std::string page;
        EXPECT_EQ(run("MANPATH=" + shellQuote(folder + "/root/usr/share/man") + " man -w compofiller", &page), 0);
        EXPECT_EQ(page, folder + "/root/usr/share/man/man6/compofiller.6.gz\n");
    }
}
