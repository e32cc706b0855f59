// The message box drawn over the frame on a terminal.
#include <algorithm>

#include "platform/present/terminal/terminal_style.h"

std::string messageBoxBytes(const TerminalStyle& style, int terminalRows, int terminalColumns, const char* caption,
                            const char* text) {
    const std::string title = caption;
    const std::string body = text;
    const std::string button = "[ OK ]";
    const int inner = static_cast<int>(std::max({title.size(), body.size(), button.size()})) + 2;
    const int width = inner + 2;
    const int height = 7;
    const int top = std::max(0, (terminalRows - height) / 2);
    const int left = std::max(0, (terminalColumns - width) / 2);
    const bool u = style.utf8;
    auto line = [&](const char* l, const char* fill, const char* r) {
        std::string s = l;
        for (int i = 0; i < inner; ++i) s += fill;
        return s + r;
    };
    auto centred = [&](const std::string& s) {
        const int pad = inner - static_cast<int>(s.size());
        return std::string(u ? "\u2502" : "|") + std::string(static_cast<std::size_t>(pad / 2), ' ') + s +
               std::string(static_cast<std::size_t>(pad - pad / 2), ' ') + (u ? "\u2502" : "|");
    };
    const std::string rows[height] = {
        u ? line("\u250c", "\u2500", "\u2510") : line("+", "-", "+"),
        centred(title),
        u ? line("\u251c", "\u2500", "\u2524") : line("+", "-", "+"),
        centred(body),
        centred(""),
        centred(button),
        u ? line("\u2514", "\u2500", "\u2518") : line("+", "-", "+"),
    };
    std::string box = style.resetStyle + style.bold + (style.colors > 0 ? style.foreground[15] : "");
    for (int r = 0; r < height; ++r) {
        box += cursorMove(style, top + r, left);
        box += rows[r];
    }
    return box;
}
