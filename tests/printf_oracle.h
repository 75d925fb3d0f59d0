// What printf's "%f" may print for a value, worked out independently of any
// printf from the exact decimal expansion that std::to_chars gives. The
// runtime is free in three things only: an exact tie at the sixth decimal may
// round either way; a very large value may be given with 17 or more correct
// significant digits and then zeros; NaN and infinity have no fixed text.
#pragma once

#include <charconv>
#include <cmath>
#include <set>
#include <string>

namespace oracle {

enum class Tie { even, away };

// The first `keep` digits of the digit string `digits`, rounded.
inline std::string round_digits(const std::string &digits, size_t keep, Tie tie)
{
    std::string head = digits.substr(0, keep);
    const std::string tail = digits.substr(keep);
    bool up = false;
    if (!tail.empty() && tail[0] != '5') {
        up = tail[0] > '5';
    } else if (!tail.empty()) {
        const bool exact_tie = tail.find_first_not_of('0', 1) == std::string::npos;
        up = !exact_tie || tie == Tie::away || (head.back() - '0') % 2 == 1;
    }
    if (up) {
        size_t i = head.size();
        while (i > 0 && head[i - 1] == '9') head[--i] = '0';
        if (i == 0)
            head.insert(head.begin(), '1');
        else
            ++head[i - 1];
    }
    return head;
}

// Every text that "%f" may print for the finite value `value`.
inline std::set<std::string> fixed_texts(double value)
{
    // Every finite double has at most 309 digits before the point and 1074
    // after it, so this is exact.
    char buffer[1500];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                   std::chars_format::fixed, 1074).ptr;
    const std::string exact(buffer, end);
    const size_t point = exact.find('.');
    const std::string digits = exact.substr(0, point) + exact.substr(point + 1);
    const std::string sign = std::signbit(value) ? "-" : "";

    std::set<std::string> texts;
    for (const Tie tie : {Tie::even, Tie::away}) {
        const std::string rounded = round_digits(digits, point + 6, tie);
        texts.insert(sign + rounded.substr(0, rounded.size() - 6) + "." +
                     rounded.substr(rounded.size() - 6));
        for (size_t significant = 17; significant < point; ++significant)
            texts.insert(sign + round_digits(digits, significant, tie) +
                         std::string(point - significant, '0') + ".000000");
    }
    return texts;
}

// Whether `text` is an acceptable "%f" text for `value`.
inline bool acceptable(const std::string &text, double value)
{
    if (std::isfinite(value)) return fixed_texts(value).count(text) == 1;
    std::string lower;
    for (const char c : text) {
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') return false;
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    if (std::isinf(value))
        return lower.find("inf") != std::string::npos && (text[0] == '-') == std::signbit(value);
    return !text.empty() && (lower.find("nan") != std::string::npos || lower.find("ind") != std::string::npos);
}

} // namespace oracle
