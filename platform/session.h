#pragma once
// The program's hold on the console it draws on, whatever the system: the
// first console call takes it over, restoreTerminal gives it back as it was.
#include <cstdint>

// Hands the console back: screen, cursor, input modes, title and size. Later
// calls do nothing; it also runs at exit.
void restoreTerminal();

// Has the next frame sent whole, every cell (at a new scene).
void repaintWholeScreen();

// Counts since start, for tests and benchmarks.
struct TerminalStats {
    std::uint64_t presents = 0;  // calls to show a frame, failed ones included
    std::uint32_t escapeQueriesAtPresent = 0;  // escapeQueryCount() at the last of them
    std::uint64_t updates = 0;   // frames that sent anything
    std::uint64_t bytes = 0;     // bytes of frames sent
    // From the cells to the frame handed over (0 where not measured).
    double medianPresentMs = 0;
    double percentile99PresentMs = 0;
};
TerminalStats terminalStats();
