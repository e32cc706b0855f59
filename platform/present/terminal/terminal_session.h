#pragma once
// The program's hold on its terminal: taken over at the first console call
// (alternate screen, hidden cursor, keys read raw by a background reader with
// echo off, Ctrl-C still a signal) and handed back as it was on every way out:
// a normal end, SIGINT, SIGTERM, SIGHUP, SIGQUIT and the fatal signals. Ctrl-Z
// hands it back while the program is stopped and takes it again on resume.
#include <cstdint>

#include "platform/console.h"
#include "platform/present/presenter.h"

// The colours of the frames, for a terminal not yet taken over.
void chooseTerminalPalette(ConsolePalette palette);

// Takes the terminal over; later calls do nothing. Standard output that is not
// a terminal is left alone (nothing is ever drawn), and so is standard input
// that is not one (no keys are read).
void takeOverTerminal();

// Hands the terminal back: screen, cursor, input modes, title and size, and
// writes the messages held back for that moment to stderr. Later calls do
// nothing; it also runs at exit.
void restoreTerminal();

// Has the next frame sent whole, every cell (at a new scene).
void repaintTerminalWhole();

// True while standard output is a terminal that the program has taken over.
bool terminalOutputActive();

// Shows the 80 x 50 grid on the terminal as one update. False (and nothing is
// written) when there is no terminal to show it on.
bool presentOnTerminal(const CHAR_INFO* cells);

// Sets the terminal's title.
bool setTerminalTitle(const char* title);

// Asks the terminal to take this size, where it honours such a request.
bool requestTerminalSize(int rows, int columns);

// Shows caption and text in a box with an OK button and waits for Enter,
// Space or Esc. False, at once, when the terminal cannot show it or no key
// can be read.
bool askOnTerminal(const char* caption, const char* text);

// Writes the line "caption: text" to stderr when the terminal is restored, or
// at once when the terminal was never taken over.
void reportAfterTerminal(const char* caption, const char* text);

// Marks the Esc key as pressed (terminal_presenter.cpp); called by the key
// reader.
void pressEscapeKey();

// What has been sent to the terminal (presents are the presenter's count).
PresentStats terminalSentStats();
