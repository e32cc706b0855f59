#pragma once
// What the offline tools' command lines have in common: a usage error (exit
// status 2), the options read as host/option_scan.h reads them, their values
// read whole or refused, and main's way of saying what went wrong.
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

#include "host/option_scan.h"

namespace toolopts {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// `text` as a whole number from low to high, nothing before or after it.
inline long long parseWhole(std::string_view option, const char* text, long long low, long long high) {
    long long v = 0;
    if (!readNumber(text, low, high, v))
        throw UsageError(std::string(option) + " needs a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", got \"" + text + "\"");
    return v;
}

// `text` as a finite number from low to high; `wanted` says what the option
// takes, for the message.
inline double parseNumber(std::string_view option, const char* text, double low, double high, const char* wanted) {
    double v = 0;
    if (!readNumber(text, low, high, v)) throw UsageError(std::string(option) + " needs " + wanted + ", got \"" + text + "\"");
    return v;
}

// Runs a tool's main body and turns its failures into one line on stderr: a
// usage error exits 2 and points at --help, any other failure exits 1.
template <class Body>
int runTool(const char* name, Body body) {
    try {
        return body();
    } catch (const UsageError& e) {
        std::fprintf(stderr, "%s: %s (see --help)\n", name, e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
        return 1;
    }
}

}  // namespace toolopts
