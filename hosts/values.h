// Values as quellot-call reads them: VALUE text (decimal, hexadecimal
// floating point, inf, nan) or a raw IEEE bit pattern in hexadecimal, turned
// into the bit pattern that a probe of the given precision receives.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The bit pattern of `text` in single (a float's 32 bits) or double
// precision; `bits` reads `text` as the bit pattern itself, 8 or 16
// hexadecimal digits with an optional "0x". Refuses (exit 2) anything else.
uint64_t parse_value(std::string_view text, bool single, bool bits);

// The exact decimal value of a bit pattern in single or double precision:
// every digit ("1.5", "-0", "4.9406564584124654e-324" in full), "inf", "-inf",
// or a NaN described by its sign, kind and payload.
std::string exact_decimal(uint64_t bits, bool single);

// IEEE facts about a bit pattern of the given precision.
uint64_t sign_bit(bool single);
uint64_t quiet_bit(bool single);
bool is_nan(uint64_t bits, bool single);
bool is_subnormal(uint64_t bits, bool single);
