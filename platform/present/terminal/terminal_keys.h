#pragma once
// Reads keys from the bytes a terminal sends. A terminal sends Esc as a lone
// ESC byte, but arrow keys, function keys and Alt combinations also start with
// ESC; an ESC counts as the Esc key only when nothing follows it before the
// reader sees the input go quiet.

struct KeyScanner {
    unsigned escapes = 0;     // lone Esc presses seen so far
    unsigned dismissals = 0;  // Enter or Space presses seen so far

    // Takes the next bytes read from the terminal.
    void feed(const char* bytes, long count);
    // The input has been quiet for a while: an ESC still waiting is a lone Esc.
    void quiet();
    // True while an ESC waits for what follows it.
    bool escapePending() const { return state == State::afterEscape; }

private:
    enum class State { ground, afterEscape, controlSequence, singleShift };
    State state = State::ground;
};

// How long the input must stay quiet after an ESC for it to be the Esc key.
inline constexpr int loneEscapeMilliseconds = 40;
