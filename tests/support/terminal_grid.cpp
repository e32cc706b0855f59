#include "tests/support/terminal_grid.h"

#include <algorithm>
#include <cstdlib>

#include "platform/common/cp437.h"

namespace testterm {

namespace {

std::vector<int> numbers(std::string_view params) {
    std::vector<int> out;
    int value = 0;
    bool any = false;
    for (char c : params) {
        if (c >= '0' && c <= '9') {
            value = value * 10 + (c - '0');
            any = true;
        } else if (c == ';' || c == ':') {
            out.push_back(any ? value : 0);
            value = 0;
            any = false;
        }
    }
    out.push_back(any ? value : 0);
    return out;
}


}  // namespace

TerminalGrid::TerminalGrid(int rows, int columns)
    : rows_(rows), columns_(columns), cells_(static_cast<std::size_t>(rows * columns)) {}

std::string TerminalGrid::rowText(int row) const {
    std::string text;
    for (int c = 0; c < columns_; ++c) appendUtf8(text, at(row, c).ch);
    return text;
}

void TerminalGrid::put(char32_t c) {
    if (wrapPending_) {
        wrapPending_ = false;
        cursorColumn_ = 0;
        if (cursorRow_ + 1 < rows_) ++cursorRow_;
    }
    Cell& cell = cells_[static_cast<std::size_t>(cursorRow_ * columns_ + cursorColumn_)];
    cell = pen_;
    cell.ch = c;
    if (cursorColumn_ + 1 < columns_) {
        ++cursorColumn_;
    } else {
        wrapPending_ = true;
    }
}

void TerminalGrid::feed(std::string_view bytes) {
    for (char raw : bytes) {
        const auto b = static_cast<unsigned char>(raw);
        switch (state_) {
            case State::ground:
                if (utf8Remaining_ > 0) {
                    if ((b & 0xC0) == 0x80) {
                        utf8Value_ = (utf8Value_ << 6) | (b & 0x3F);
                        if (--utf8Remaining_ == 0) put(utf8Value_);
                        continue;
                    }
                    utf8Remaining_ = 0;
                    put(U'\uFFFD');
                }
                if (b == 0x1B) {
                    state_ = State::escape;
                    sequence_.clear();
                } else if (b == 0x07) {
                    ++bells;
                } else if (b == '\r') {
                    cursorColumn_ = 0;
                    wrapPending_ = false;
                } else if (b == '\n') {
                    ++lineFeeds;
                    if (cursorRow_ + 1 < rows_) ++cursorRow_;
                    wrapPending_ = false;
                } else if (b == 0x08) {
                    if (cursorColumn_ > 0) --cursorColumn_;
                    wrapPending_ = false;
                } else if (b == 0x0E || b == 0x0F || b == 0x18) {
                    // Shift out, shift in, cancel: nothing to show.
                } else if (b < 0x20 || b == 0x7F) {
                    ++otherControls;
                } else if (b < 0x80) {
                    put(b);
                } else if ((b & 0xE0) == 0xC0) {
                    utf8Value_ = b & 0x1F;
                    utf8Remaining_ = 1;
                } else if ((b & 0xF0) == 0xE0) {
                    utf8Value_ = b & 0x0F;
                    utf8Remaining_ = 2;
                } else if ((b & 0xF8) == 0xF0) {
                    utf8Value_ = b & 0x07;
                    utf8Remaining_ = 3;
                } else {
                    put(U'\uFFFD');
                }
                break;
            case State::escape:
                if (b == '[') {
                    state_ = State::csi;
                } else if (b == ']') {
                    state_ = State::osc;
                } else if (b == '(' || b == ')') {
                    state_ = State::charset;
                } else {
                    unknownSequences.push_back(std::string("ESC ") + static_cast<char>(b));
                    state_ = State::ground;
                }
                break;
            case State::charset:
                state_ = State::ground;
                break;
            case State::csi:
                if (b >= 0x40 && b <= 0x7E) {
                    controlSequence(sequence_, static_cast<char>(b));
                    state_ = State::ground;
                } else {
                    sequence_ += static_cast<char>(b);
                }
                break;
            case State::osc:
                if (b == 0x07) {
                    if (sequence_.rfind("2;", 0) == 0 || sequence_.rfind("0;", 0) == 0) title = sequence_.substr(2);
                    state_ = State::ground;
                } else if (b == 0x1B) {
                    state_ = State::oscEscape;
                } else {
                    sequence_ += static_cast<char>(b);
                }
                break;
            case State::oscEscape:
                if (sequence_.rfind("2;", 0) == 0 || sequence_.rfind("0;", 0) == 0) title = sequence_.substr(2);
                state_ = State::ground;
                break;
        }
    }
}

void TerminalGrid::controlSequence(std::string_view params, char final) {
    if (!params.empty() && params[0] == '?') {
        const std::vector<int> modes = numbers(params.substr(1));
        const bool on = final == 'h';
        if (final != 'h' && final != 'l') {
            unknownSequences.push_back("CSI " + std::string(params) + final);
            return;
        }
        for (int mode : modes) {
            if (mode == 1049) {
                alternateScreen = on;
            } else if (mode == 25) {
                cursorVisible = on;
            } else if (mode == 2026) {
                ++(on ? syncBegins : syncEnds);
            } else if (mode != 12) {
                unknownSequences.push_back("CSI ?" + std::to_string(mode) + final);
            }
        }
        return;
    }
    const std::vector<int> n = numbers(params);
    switch (final) {
        case 'H':
        case 'f':
            cursorRow_ = std::clamp(std::max(n[0], 1) - 1, 0, rows_ - 1);
            cursorColumn_ = std::clamp((n.size() > 1 ? std::max(n[1], 1) : 1) - 1, 0, columns_ - 1);
            wrapPending_ = false;
            break;
        case 'C':
            cursorColumn_ = std::min(cursorColumn_ + std::max(n[0], 1), columns_ - 1);
            wrapPending_ = false;
            break;
        case 'J':
            if (n[0] == 2 || (n[0] == 0 && cursorRow_ == 0 && cursorColumn_ == 0)) {
                // The whole screen, or all below a cursor at the top-left.
                ++clears;
                for (Cell& c : cells_) {
                    c = Cell();
                    c.background = pen_.background;
                }
            } else {
                unknownSequences.push_back("CSI " + std::string(params) + final);
            }
            break;
        case 'm':
            selectGraphics(params);
            break;
        case 't':
            if (n[0] == 8) ++sizeRequests;
            break;
        case 'h':
        case 'l':
            break;  // ANSI modes (tmux's cnorm sends 34h)
        default:
            unknownSequences.push_back("CSI " + std::string(params) + final);
    }
}

void TerminalGrid::selectGraphics(std::string_view params) {
    const std::vector<int> n = numbers(params);
    for (std::size_t i = 0; i < n.size(); ++i) {
        const int v = n[i];
        if (v == 0) {
            pen_ = Cell();
        } else if (v == 1) {
            pen_.bold = true;
        } else if (v == 22) {
            pen_.bold = false;
        } else if (v >= 30 && v <= 37) {
            pen_.foreground = v - 30;
        } else if (v == 39) {
            pen_.foreground = -1;
        } else if (v >= 40 && v <= 47) {
            pen_.background = v - 40;
        } else if (v == 49) {
            pen_.background = -1;
        } else if (v >= 90 && v <= 97) {
            pen_.foreground = v - 90 + 8;
        } else if (v >= 100 && v <= 107) {
            pen_.background = v - 100 + 8;
        } else if ((v == 38 || v == 48) && i + 2 < n.size() && n[i + 1] == 5) {
            (v == 38 ? pen_.foreground : pen_.background) = n[i + 2];
            i += 2;
        } else if ((v == 38 || v == 48) && i + 4 < n.size() && n[i + 1] == 2) {
            (v == 38 ? pen_.foreground : pen_.background) = rgbColour(n[i + 2] << 16 | n[i + 3] << 8 | n[i + 4]);
            i += 4;
        } else {
            unknownSequences.push_back("SGR " + std::to_string(v));
        }
    }
}

}  // namespace testterm
