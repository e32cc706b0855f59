// compofiller-console-check: draws chosen frames of the demo, shows each
// through the program's own presentScreen on the console, reads the console
// back with ReadConsoleOutputW and writes what it holds, for a test that
// compares it with the Linux frame tool's cells.
//
// usage: compofiller-console-check OUT STATE...
//   STATE is "black" (every cell blank) or
//   order,timeMs,seconds,pulseA,pulseB,pulseC,beatCount,captions(0|1).
// Writes OUT: for each frame a line with the console window's columns and
// rows, then as many lines of as many tokens, each the character shown (4 hex
// digits of UTF-16) and the attribute (4 hex digits), joined by ':'.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/screen.h"
#include "platform/present/presenter.h"
#include "tests/windows/console_readback.h"
#include "tests/programs/frame_state.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: compofiller-console-check OUT STATE...\n", stderr);
        return 2;
    }
    openConsoleScreen();
    std::string out;
    int status = 0;
    for (int n = 2; n < argc && status == 0; ++n) {
        if (!drawFrameState(argv[n])) {
            std::fprintf(stderr, "bad frame \"%s\"\n", argv[n]);
            status = 2;
            break;
        }
        presentScreen();
        int columns = 0, rows = 0;
        std::vector<std::uint16_t> characters, attributes;
        if (!readShownWindow(columns, rows, characters, attributes)) {
            status = 1;
            break;
        }
        out += std::to_string(columns) + " " + std::to_string(rows) + "\n";
        char token[16];
        for (std::size_t i = 0; i < characters.size(); ++i) {
            std::snprintf(token, sizeof token, "%04x:%04x", unsigned(characters[i]), unsigned(attributes[i]));
            out += token;
            out += int(i % std::size_t(columns)) == columns - 1 ? '\n' : ' ';
        }
    }
    closePresenter();
    if (FILE* file = std::fopen(argv[1], "wb")) {
        std::fwrite(out.data(), 1, out.size(), file);
        std::fclose(file);
    } else {
        status = 1;
    }
    return status;
}
