#include "values.h"

#include <bit>
#include <charconv>
#include <limits>
#include <string>
#include <system_error>
#include <type_traits>

#include "failure.h"

namespace {

bool strip_hex_prefix(std::string_view &text)
{
    if (text.size() < 2 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return false;
    text.remove_prefix(2);
    return true;
}

const char *precision(bool single)
{
    return single ? "single precision" : "double precision";
}

bool is_digit(char c, std::chars_format format)
{
    const bool decimal = c >= '0' && c <= '9';
    if (format != std::chars_format::hex) return decimal;
    return decimal || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The forms taken are exactly: an optional "-", then "inf", "nan", a decimal
// number or "0x" and a hexadecimal one. from_chars alone would also take
// "infinity", "nan(123)" (dropping the payload), any case of them, and the
// same after "0x", so a number must start with a digit or a point.
template <typename T>
uint64_t parse(std::string_view text)
{
    using Raw = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;
    const std::string quoted = "'" + std::string(text) + "'";
    std::string_view body = text;
    const bool negative = !body.empty() && body.front() == '-';
    if (negative) body.remove_prefix(1);
    T value = 0;
    if (body == "inf" || body == "nan") {
        value = body == "inf" ? std::numeric_limits<T>::infinity() : std::numeric_limits<T>::quiet_NaN();
        return std::bit_cast<Raw>(negative ? -value : value);
    }
    const auto format = strip_hex_prefix(body) ? std::chars_format::hex : std::chars_format::general;
    const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value, format);
    if (body.empty() || !(is_digit(body.front(), format) || body.front() == '.') ||
        ec == std::errc::invalid_argument || end != body.data() + body.size())
        throw usage("VALUE " + quoted + " is not a number");
    if (ec == std::errc::result_out_of_range)
        throw usage("VALUE " + quoted + " is out of range for " + precision(sizeof(T) == 4));
    return std::bit_cast<Raw>(negative ? -value : value);
}

} // namespace

uint64_t parse_value(std::string_view text, bool single)
{
    return single ? parse<float>(text) : parse<double>(text);
}

uint64_t parse_bits(std::string_view text, bool single, bool prefix)
{
    const size_t width = single ? 8 : 16;
    std::string_view digits = text;
    const bool prefixed = strip_hex_prefix(digits);
    uint64_t raw = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), raw, 16);
    if (digits.size() != width || ec != std::errc() || end != digits.data() + digits.size() ||
        (prefixed && !prefix))
        throw usage("'" + std::string(text) + "' is not a " + precision(single) + " bit pattern of " +
                    std::to_string(width) + " hexadecimal digits" +
                    (prefixed && !prefix ? " (a call list writes them without 0x)" : ""));
    return raw;
}

std::string hex_digits(uint64_t value, size_t width)
{
    std::string text(width, '0');
    for (size_t i = width; i-- > 0; value >>= 4) text[i] = "0123456789ABCDEF"[value & 15];
    return text;
}
