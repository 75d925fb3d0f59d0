// Values as quellot-call reads them: VALUE text (decimal, hexadecimal
// floating point, inf, nan) or a raw IEEE bit pattern in hexadecimal, turned
// into the bit pattern that a probe of the given precision receives (a
// float's in the low 32 bits).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The bit pattern of VALUE `text` in single or double precision, rounded
// once; refuses (exit 2) text that is not a number or is out of range.
uint64_t parse_value(std::string_view text, bool single);

// The bit pattern that `text` spells: exactly 8 (single) or 16 (double)
// hexadecimal digits, after a "0x" only where `prefix` allows one; refuses
// (exit 2) anything else.
uint64_t parse_bits(std::string_view text, bool single, bool prefix);

// `value` as `width` upper-case hexadecimal digits, leading zeros kept, as
// bit patterns are written.
std::string hex_digits(uint64_t value, size_t width);

// The exact decimal value of a bit pattern in single or double precision:
// every digit ("1.5", "-0", "4.9406564584124654e-324" in full), "inf", "-inf",
// or a NaN described by its sign, kind and payload.
std::string exact_decimal(uint64_t bits, bool single);

// IEEE facts about a bit pattern of the given precision.
uint64_t sign_bit(bool single);
uint64_t quiet_bit(bool single);
bool is_nan(uint64_t bits, bool single);
bool is_subnormal(uint64_t bits, bool single);
