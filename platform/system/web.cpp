// The clock and the program's folder on a web page.
#include <emscripten.h>

#include "platform/program_folder.h"
#include "platform/timer.h"
#include "platform/web/page_bridge.h"

double page::nowMs() { return emscripten_get_now(); }

DWORD timeGetTime() { return static_cast<DWORD>(static_cast<std::uint64_t>(emscripten_get_now())); }

std::int64_t monotonicNanoseconds() { return static_cast<std::int64_t>(emscripten_get_now() * 1e6); }

// A page cannot know its processor time.
double processCpuSeconds() { return 0.0; }

std::string executableFolder() { return "/"; }
