#pragma once
// The three ways compofiller-frame prints the 80 x 50 cell buffer.
#include <string>

#include "platform/console.h"
#include "platform/common/psf_font.h"

enum class FrameFormat { cells, ansi, png };

// 50 lines of 80 space-separated tokens, each 4 lowercase hex digits: the glyph
// byte, then the attribute (fa00 is a black middle dot, db0f a white full block).
std::string formatCells(const CHAR_INFO* cells);

// Coloured UTF-8 text: each glyph as its code page 437 picture, in the 16
// terminal colours (SGR 30-37 and 90-97) on black. A cell whose colour is black
// shows as a space, as it shows on the black background.
std::string formatAnsi(const CHAR_INFO* cells);

// A PNG picture of the frame, each cell drawn with `font` in the standard
// 16-colour text-mode palette on black, each font pixel `scale` x `scale`.
std::string formatPng(const CHAR_INFO* cells, const PsfFont& font, int scale = 1);
