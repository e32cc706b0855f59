#pragma once
// What the offline tools' command lines have in common: a usage error (exit
// status 2), option values read whole or refused, and main's way of saying
// what went wrong.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

namespace toolopts {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The value of option argv[i], one of `withValue`; moves i past it.
inline const char* optionValue(int argc, char** argv, int& i, std::initializer_list<std::string_view> withValue) {
    const std::string_view option = argv[i];
    bool known = false;
    for (std::string_view name : withValue) known = known || option == name;
    if (!known) throw UsageError("unknown option \"" + std::string(option) + "\"");
    if (i + 1 >= argc) throw UsageError(std::string(option) + " needs a value");
    return argv[++i];
}

// `text` as a whole number from low to high, nothing before or after it.
inline long long parseWhole(std::string_view option, const char* text, long long low, long long high) {
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (*text == '\0' || *end != '\0' || errno == ERANGE || v < low || v > high)
        throw UsageError(std::string(option) + " needs a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", got \"" + text + "\"");
    return v;
}

// `text` as a finite number from low to high; `wanted` says what the option
// takes, for the message.
inline double parseNumber(std::string_view option, const char* text, double low, double high, const char* wanted) {
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (*text == '\0' || *end != '\0' || !std::isfinite(v) || v < low || v > high)
        throw UsageError(std::string(option) + " needs " + wanted + ", got \"" + text + "\"");
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
