// How quellot-call gives up: an exit status and the one line it prints on
// standard error.
#pragma once

#include <string>

constexpr int exit_result = 1; // a probe returned something other than 0
constexpr int exit_usage = 2; // a usage error or a refused call list
constexpr int exit_load = 3;  // the library cannot be loaded or a probe resolved
constexpr int exit_host = 4;  // quellot-call itself failed, such as a write of its own

struct Failure {
    int code;
    std::string message;
};

inline Failure usage(const std::string &message)
{
    return {exit_usage, message};
}

