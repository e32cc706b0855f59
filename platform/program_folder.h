#pragma once
#include <string>

// The folder that holds the running program's file; empty when unknown.
std::string executableFolder();
