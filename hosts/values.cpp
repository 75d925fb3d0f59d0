#include "values.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>
#include <type_traits>

#include "failure.h"
#include "target_nans.h"

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
        throw usage("VALUE " + quoted(text) + " is not a number");
    if (ec == std::errc::result_out_of_range)
        throw usage("VALUE " + quoted(text) + " is out of range for " + precision(sizeof(T) == 4));
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
        throw usage(quoted(text) + " is not a " + precision(single) + " bit pattern of " +
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

uint64_t sign_bit(bool single)
{
    return single ? 0x80000000u : 0x8000000000000000u;
}

uint64_t quiet_bit(bool single)
{
    return single ? 0x00400000u : 0x0008000000000000u;
}

namespace {

uint64_t exponent_mask(bool single)
{
    return single ? 0x7f800000u : 0x7ff0000000000000u;
}

uint64_t fraction_mask(bool single)
{
    return single ? 0x007fffffu : 0x000fffffffffffffu;
}

} // namespace

bool is_nan(uint64_t bits, bool single)
{
    return (bits & exponent_mask(single)) == exponent_mask(single) && (bits & fraction_mask(single)) != 0;
}

bool is_subnormal(uint64_t bits, bool single)
{
    return (bits & exponent_mask(single)) == 0 && (bits & fraction_mask(single)) != 0;
}

std::string exact_decimal(uint64_t bits, bool single)
{
    const std::string sign = (bits & sign_bit(single)) != 0 ? "-" : "";
    if (is_nan(bits, single)) {
        char payload[20];
        const auto end = std::to_chars(payload, payload + sizeof payload,
                                       bits & fraction_mask(single) & ~quiet_bit(single), 16).ptr;
        return sign + (is_signalling(bits, single) ? "signalling" : "quiet") + " NaN, payload 0x" +
               std::string(payload, end);
    }
    const double value = single ? static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(bits)))
                                : std::bit_cast<double>(bits);
    if (std::isinf(value)) return sign + "inf";
    // Every double is a finite binary fraction m * 2^e (m odd), so its exact
    // decimal has as many digits after the point as -e, and no more
    // significant digits than those and its integer part's: at most 767.
    // A digit more than that bound is asked for, and the zeros that pad
    // it are dropped.
    int digits_wanted = 1;
    if (value != 0) {
        const uint64_t raw = std::bit_cast<uint64_t>(value);
        const uint64_t field = raw >> 52 & 0x7ff;
        uint64_t m = raw & 0xfffffffffffffu;
        int e = field == 0 ? -1074 : static_cast<int>(field) - 1075;
        if (field != 0) m |= uint64_t{1} << 52;
        for (; (m & 1) == 0; m >>= 1) ++e;
        const int whole = static_cast<int>(std::ceil((std::ilogb(value) + 1) * 0.30103)) + 1;
        digits_wanted = std::clamp(whole + std::max(0, -e), 1, 767);
    }
    char text[800];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, digits_wanted).ptr;
    std::string digits(text, end);
    const size_t e = digits.find('e');
    size_t last = digits.find_last_not_of('0', e - 1);
    if (digits[last] == '.') --last;
    std::string mantissa = digits.substr(0, last + 1);
    const int exponent = std::stoi(digits.substr(e + 1));
    // Plain notation where it stays short, scientific beyond.
    if (exponent >= -6 && exponent < 21) {
        const bool negative = mantissa[0] == '-';
        std::string figures = mantissa.substr(negative ? 1 : 0);
        figures.erase(std::remove(figures.begin(), figures.end(), '.'), figures.end());
        std::string plain;
        if (exponent < 0) {
            plain = "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + figures;
        } else if (static_cast<size_t>(exponent) + 1 >= figures.size()) {
            plain = figures + std::string(static_cast<size_t>(exponent) + 1 - figures.size(), '0');
        } else {
            plain = figures.substr(0, static_cast<size_t>(exponent) + 1) + "." +
                    figures.substr(static_cast<size_t>(exponent) + 1);
        }
        return (negative ? "-" : "") + plain;
    }
    return mantissa + "e" + std::to_string(exponent);
}
