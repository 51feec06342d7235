// whole_number.h -- the one reading of a whole number written as text, for every tool.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <string>

// True, with the number in `out`, when `text` is a whole number from `min` to
// `max` in decimal digits, after one sign where `sign` allows it (an option's
// "+7"; a descriptor's name is digits alone). Read as long long: a long has
// only 32 bits where the runner is built as WebAssembly, too few for a seed.
inline bool read_whole_number(const std::string& text, long long min, long long max, long long& out, bool sign = true)
{
    if (text.empty() || text.find_first_not_of(sign ? "+-0123456789" : "0123456789") != std::string::npos)
        return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max)
        return false;
    out = v;
    return true;
}
