// How quellot-call gives up: an exit status and the one line it prints on
// standard error.
#pragma once

#include <string>

constexpr int exit_usage = 2;
constexpr int exit_load = 3;

struct Failure {
    int code;
    std::string message;
};

inline Failure usage(const std::string &message)
{
    return {exit_usage, message};
}
