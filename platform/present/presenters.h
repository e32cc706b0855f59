#pragma once
// The presenters, for choosePresenter (choice.cpp) alone; each is built only
// on the systems it belongs to.
#include <memory>
#include <string>

#include "platform/present/presenter.h"

// A Unix terminal (terminal/); takes the terminal over when opened.
std::unique_ptr<Presenter> makeTerminalPresenter(ConsolePalette palette);

// The program's own window on SDL2's video (window/), opened at once; null,
// with why in `problem`, when it cannot open.
std::unique_ptr<Presenter> openWindowPresenter(const PresenterRequest& request, std::string& problem);

// The Windows console (console/); takes the console over when opened.
std::unique_ptr<Presenter> makeConsolePresenter(ConsolePalette palette);

// The web page's canvas (page/).
std::unique_ptr<Presenter> makePagePresenter();
