// The key reader's view of terminal input: a lone Esc against the sequences
// that start with ESC.
#include <gtest/gtest.h>

#include <string>

#include "platform/present/terminal/terminal_keys.h"

namespace {

KeyScanner scan(const std::string& bytes, bool quietAfter = true) {
    KeyScanner scanner;
    scanner.feed(bytes.data(), static_cast<long>(bytes.size()));
    if (quietAfter) scanner.quiet();
    return scanner;
}

}  // namespace

TEST(KeyScanner, LoneEscCountsOnlyOnceTheInputIsQuiet) {
    KeyScanner scanner = scan("\x1b", false);
    EXPECT_TRUE(scanner.escapePending());
    EXPECT_EQ(scanner.escapes, 0u);
    scanner.quiet();
    EXPECT_EQ(scanner.escapes, 1u);
    EXPECT_FALSE(scanner.escapePending());
    scanner.quiet();
    EXPECT_EQ(scanner.escapes, 1u);
}

TEST(KeyScanner, SequencesThatStartWithEscAreNotEsc) {
    const char* sequences[] = {
        "\x1b[A",        // up
        "\x1b[1;5C",     // Ctrl-right
        "\x1b[15~",      // F5
        "\x1bOP",        // F1
        "\x1b" "x",      // Alt-x
        "\x1b\x1b[A",    // Alt-up
        "\x1b[200~hi",   // start of a paste
    };
    for (const char* s : sequences) {
        EXPECT_EQ(scan(s).escapes, 0u) << "sequence " << (s + 1);
    }
}

TEST(KeyScanner, SequenceSplitAcrossReadsIsStillNotEsc) {
    KeyScanner scanner;
    scanner.feed("\x1b", 1);
    scanner.feed("[B", 2);
    scanner.quiet();
    EXPECT_EQ(scanner.escapes, 0u);
}

TEST(KeyScanner, EscAfterOtherKeysAndSequencesStillCounts) {
    EXPECT_EQ(scan("abc\x1b").escapes, 1u);
    EXPECT_EQ(scan("\x1b[A\x1b").escapes, 1u);
    EXPECT_EQ(scan("\x1b\x1b").escapes, 1u);
}

TEST(KeyScanner, EnterAndSpaceDismiss) {
    EXPECT_EQ(scan("\r").dismissals, 1u);
    EXPECT_EQ(scan("\n").dismissals, 1u);
    EXPECT_EQ(scan(" ").dismissals, 1u);
    EXPECT_EQ(scan("ab").dismissals, 0u);
    EXPECT_EQ(scan("\x1b[32~").dismissals, 0u) << "bytes inside a sequence are not keys";
}
