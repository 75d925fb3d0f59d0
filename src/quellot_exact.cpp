// The exact twin of the probe library: the same four probes, whose report
// lines show the bit pattern that arrived instead of its "%f" decimals, so a
// quieted signalling NaN, a lost payload or a changed last bit shows.
// Only C headers here, as in the main unit: the probes must call the
// runtime's own printf.
#include <stdio.h>
#include <string.h>

#include "module.h"
#include "quellot.h"

// The argument's own bytes, read from its memory as an integer, so no
// register or instruction that could quiet a signalling NaN touches the
// value. The empty asm tells the compiler that the argument's memory may
// have changed: it must read that memory, and cannot copy the float as a
// float (32-bit x86 GCC would move it with an x87 load and store otherwise).
static unsigned bits_of(float *value)
{
    __asm__("" : "+m"(*value));
    uint32_t bits;
    memcpy(&bits, value, sizeof bits);
    return bits;
}

// A double's bits as two 32-bit halves, high first: "%08x%08x" is a format
// that every msvcrt.dll's printf takes, where a 64-bit conversion is not.
struct Halves {
    unsigned high;
    unsigned low;
};

static Halves bits_of(double *value)
{
    __asm__("" : "+m"(*value));
    uint64_t bits;
    memcpy(&bits, value, sizeof bits);
    return {static_cast<unsigned>(bits >> 32), static_cast<unsigned>(bits & 0xffffffffu)};
}

int64_t QUELLOT_CALL call_float(float value)
{
    printf("call_float           => MyFloatValue  = 0x%08x\n", bits_of(&value));
    return 0;
}

int64_t QUELLOT_CALL call_float_filename(const char *filename, float value)
{
    printf("call_float_filename  => MyFloatValue  = 0x%08x - filename = %s\n", bits_of(&value),
           printable(filename));
    return 0;
}

int64_t QUELLOT_CALL call_double(double value)
{
    const Halves bits = bits_of(&value);
    printf("call_double          => MyDoubleValue = 0x%08x%08x\n", bits.high, bits.low);
    return 0;
}

int64_t QUELLOT_CALL call_double_filename(const char *filename, double value)
{
    const Halves bits = bits_of(&value);
    printf("call_double_filename => MyDoubleValue = 0x%08x%08x - filename = %s\n", bits.high, bits.low,
           printable(filename));
    return 0;
}
