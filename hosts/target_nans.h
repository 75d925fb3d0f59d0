// What this target's floating-point unit does with NaNs, found by running
// it rather than assumed: which value of the quiet bit marks a quiet NaN
// (legacy MIPS and hppa mark a signalling one with it, the other way round
// from x86), the default NaN its operations make, and what an operation
// makes of a signalling NaN (MIPS replaces every NaN by its default NaN).
#pragma once

#include <cstdint>

// The positive NaN that 0/0 gives here, as a bit pattern of the precision.
uint64_t default_nan(bool single);

// Whether a set quiet bit (the fraction's highest) marks a quiet NaN here,
// as IEEE 754-2008 recommends: the default NaN, quiet by definition, tells.
bool quiet_bit_marks_quiet();

// Whether `bits` is a signalling NaN on this target.
bool is_signalling(uint64_t bits, bool single);

// The signalling NaN `bits` after an operation of this target's
// floating-point unit (a multiplication by 1), as a value that passes
// through it on the way arrives.
uint64_t quieted(uint64_t bits, bool single);
