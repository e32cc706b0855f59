#pragma once
#include <string>

// The Unicode character that shows each code page 437 byte.
extern const char32_t cp437ToUnicode[256];

// Appends the UTF-8 bytes of a character of the Basic Multilingual Plane.
void appendUtf8(std::string& out, char32_t c);
