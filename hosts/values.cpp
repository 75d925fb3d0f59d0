#include "values.h"

#include <bit>
#include <charconv>
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

template <typename T>
uint64_t parse(std::string_view text, bool bits)
{
    using Raw = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;
    constexpr const char *precision = sizeof(T) == 4 ? "single precision" : "double precision";
    const std::string quoted = "'" + std::string(text) + "'";
    if (bits) {
        std::string_view digits = text;
        strip_hex_prefix(digits);
        Raw raw = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), raw, 16);
        if (digits.size() != 2 * sizeof(T) || ec != std::errc() || end != digits.data() + digits.size())
            throw usage(quoted + " is not a " + precision + " bit pattern of " +
                        std::to_string(2 * sizeof(T)) + " hexadecimal digits");
        return raw;
    }
    // from_chars takes no "0x" and we take no "+", so the sign and the prefix
    // are read here and the rest must be an unsigned number.
    std::string_view body = text;
    const bool negative = !body.empty() && body.front() == '-';
    if (negative) body.remove_prefix(1);
    const auto format = strip_hex_prefix(body) ? std::chars_format::hex : std::chars_format::general;
    T value = 0;
    const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value, format);
    if (body.empty() || body.front() == '-' || ec == std::errc::invalid_argument ||
        end != body.data() + body.size())
        throw usage("VALUE " + quoted + " is not a number");
    if (ec == std::errc::result_out_of_range)
        throw usage("VALUE " + quoted + " is out of range for " + precision);
    return std::bit_cast<Raw>(negative ? -value : value);
}

} // namespace

uint64_t parse_value(std::string_view text, bool single, bool bits)
{
    return single ? parse<float>(text, bits) : parse<double>(text, bits);
}
