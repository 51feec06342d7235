// sim_failure.h -- how pelmaric-sim stops short: one exception, carrying its exit status and its message.
#pragma once

#include <cstring>
#include <string>

// The exit statuses of a run that stops short.
constexpr int kOutputFailed = 1; // an output could not be written: nothing is left behind
constexpr int kBadInput = 2;     // bad arguments or input: nothing runs

struct SimFailure {
    int status; // kOutputFailed or kBadInput
    std::string message;
    bool show_usage = false;
};

// The system's words for the errno value `error`, as every message gives them.
inline std::string reason(int error) { return std::strerror(error); }
