// Values as quellot-call reads them: VALUE text (decimal, hexadecimal
// floating point, inf, nan) or a raw IEEE bit pattern in hexadecimal, turned
// into the bit pattern that a probe of the given precision receives.
#pragma once

#include <cstdint>
#include <string_view>

// The bit pattern of `text` in single (a float's 32 bits) or double
// precision; `bits` reads `text` as the bit pattern itself, 8 or 16
// hexadecimal digits with an optional "0x". Refuses (exit 2) anything else.
uint64_t parse_value(std::string_view text, bool single, bool bits);
