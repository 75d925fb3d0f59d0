// How quellot-call gives up: an exit status and the one line it prints on
// standard error.
#pragma once

#include <string>
#include <string_view>

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


// `text` in quotes for an error line: at most its first 200 bytes, and then
// how long it is, so that a huge line or value is not copied whole.
inline std::string quoted(std::string_view text)
{
    constexpr size_t shown = 200;
    if (text.size() <= shown) return "'" + std::string(text) + "'";
    return "'" + std::string(text.substr(0, shown)) + "...' (" + std::to_string(text.size()) + " bytes)";
}
