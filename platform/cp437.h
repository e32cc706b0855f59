#pragma once

// The Unicode character that shows each code page 437 byte.
extern const char32_t cp437ToUnicode[256];
