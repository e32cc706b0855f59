#include "host/option_scan.h"

#include <getopt.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <type_traits>

// getopt_long's value for option i is firstLong + i: past every byte, so the
// optopt of a problem tells a long option from a short one.
constexpr int firstLong = 256;

std::vector<Argument> readArguments(int argc, const char* const* args, const std::vector<LongOption>& options,
                                    char quote) {
    // getopt_long's prototype takes char* const*; with the "-" ordering used
    // here it hands the operands back in place and reorders nothing.
    char* const* argv = const_cast<char* const*>(args);
    std::vector<option> table;
    int help = -1;
    for (std::size_t i = 0; i < options.size(); ++i) {
        const int has = options[i].takesValue ? required_argument : no_argument;
        table.push_back({options[i].name + 2, has, nullptr, firstLong + static_cast<int>(i)});
        if (std::strcmp(options[i].name, "--help") == 0) help = static_cast<int>(i);
    }
    table.push_back({});
    optind = 0;  // glibc, mingw-w64 and musl (emscripten) all start afresh at 0
    opterr = 0;
    std::vector<Argument> read;
    for (int got; (got = getopt_long(argc, argv, "-h", table.data(), nullptr)) != -1;) {
        const std::string value = optarg != nullptr ? optarg : "";
        if (got == 1 || got == 'h') {
            read.push_back(got == 1 ? Argument{Argument::operand, "", value} : Argument{help, "--help", ""});
            continue;
        }
        // The option getopt_long met, if any, and the argument that named it.
        const int index = (got >= firstLong ? got : optopt) - firstLong;
        const char* name = index >= 0 ? options[static_cast<std::size_t>(index)].name : "";
        const char* typed = argv[optind - (optarg != nullptr && optarg == argv[optind - 1] ? 2 : 1)];
        // getopt_long also takes any unambiguous beginning of a name; these
        // programs take whole names only, as they always have, so that a
        // script's options keep their meaning when options are added.
        const std::size_t length = std::strlen(name);
        const bool whole =
            index >= 0 && std::strncmp(typed, name, length) == 0 && (typed[length] == '\0' || typed[length] == '=');
        if (whole && got >= firstLong) {
            read.push_back({index, name, value});
            continue;
        }
        // A problem: optopt is the option missing its value or given one it
        // does not take, a short option's letter, or 0 for a name that
        // matches none (or several) of the options.
        std::string problem = std::string("unknown option ") + quote + typed + quote;
        if (whole && options[static_cast<std::size_t>(index)].takesValue)
            problem = std::string(name) + " needs a value";
        else if (got < firstLong && optopt > 0 && optopt < firstLong)
            problem = std::string("unknown option ") + quote + '-' + static_cast<char>(optopt) + quote;
        read.push_back({Argument::bad, "", problem});
        return read;
    }
    // After "--" every argument left is an operand (musl also stops at a lone
    // "-", which glibc and mingw-w64 hand back as an operand).
    for (int i = optind; i < argc; ++i) read.push_back({Argument::operand, "", argv[i]});
    return read;
}

template <class Number>
bool readNumber(const char* text, Number low, Number high, Number& value) {
    char* end = nullptr;
    errno = 0;
    Number v = 0;
    if constexpr (std::is_integral_v<Number>) v = std::strtoll(text, &end, 10);
    else v = std::strtod(text, &end);
    const bool fits = std::is_integral_v<Number> ? errno == 0 : std::isfinite(static_cast<double>(v));
    // strtoll and strtod would skip white space before the number.
    if (*text == '\0' || std::isspace(static_cast<unsigned char>(*text)) != 0 || *end != '\0' || !fits || v < low ||
        v > high)
        return false;
    value = v;
    return true;
}

template bool readNumber(const char*, long long, long long, long long&);
template bool readNumber(const char*, double, double, double&);
