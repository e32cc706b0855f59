#pragma once
// The programs' command lines, read with getopt_long: long options by their
// whole names, as "--name VALUE" or "--name=VALUE"; -h for the option named
// --help; the other arguments (operands) in the order given, and all of them
// after "--". getopt_long's own messages are off: a problem comes back as
// text for the program's own one line on stderr.
#include <string>
#include <vector>

struct LongOption {
    const char* name;  // as typed: "--fps"
    bool takesValue;
};

// One argument read: an option, an operand, or the problem that ends them.
struct Argument {
    static constexpr int operand = -1, bad = -2;
    int option;         // the option's index in the options, operand or bad
    const char* name;   // the option's whole name; "" for an operand or a problem
    std::string value;  // the option's value ("" when it takes none), the operand, or what is wrong
};

// The arguments of argv in order, up to and with the first problem. `quote`
// encloses an argument quoted in a problem.
std::vector<Argument> readArguments(int argc, const char* const* argv, const std::vector<LongOption>& options,
                                    char quote);

// `text` as a number from low to high, nothing before or after it: whole
// (digits after an optional sign) as a long long, finite as a double.
template <class Number>
bool readNumber(const char* text, Number low, Number high, Number& value);
