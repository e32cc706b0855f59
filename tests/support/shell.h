#pragma once
// Shell helpers the end-to-end tests share: quoting, a command's output, a
// whole file.
#include <string>

namespace shelltest {

// `s` in single quotes, safe as one word of a shell command.
std::string shellQuote(const std::string& s);
// Runs a shell command and returns its standard output.
std::string capture(const std::string& command);
// Runs a shell command; returns its exit status (-1 where it did not exit)
// and, where asked, its standard output.
int run(const std::string& command, std::string* output = nullptr);
// The whole file, or "" when it cannot be read.
std::string readText(const std::string& path);

}  // namespace shelltest
