#include "platform/present/terminal/terminal_keys.h"

void KeyScanner::feed(const char* bytes, long count) {
    for (long i = 0; i < count; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        switch (state) {
            case State::ground:
                if (b == 0x1B) {
                    state = State::afterEscape;
                } else if (b == '\r' || b == '\n' || b == ' ') {
                    ++dismissals;
                }
                break;
            case State::afterEscape:
                // ESC [ and ESC O start the sequences of cursor and function
                // keys; ESC and any other byte is an Alt combination. A second
                // ESC waits anew: it may be a lone Esc itself.
                if (b == '[') {
                    state = State::controlSequence;
                } else if (b == 'O') {
                    state = State::singleShift;
                } else if (b != 0x1B) {
                    state = State::ground;
                }
                break;
            case State::controlSequence:
                // Parameter and intermediate bytes, then one final byte.
                if (b < 0x20 || b > 0x3F) state = b == 0x1B ? State::afterEscape : State::ground;
                break;
            case State::singleShift:
                state = State::ground;
                break;
        }
    }
}

void KeyScanner::quiet() {
    if (state == State::afterEscape) ++escapes;
    state = State::ground;
}
