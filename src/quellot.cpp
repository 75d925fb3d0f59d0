// Only C headers here: on MinGW-w64 any C++ standard header switches printf
// to MinGW's own formatter, and the probes must call the runtime's printf.
#include <stdio.h>

#include "module.h"
#include "quellot.h"

// A float widened to double for "%f", sign included. The conversion is
// exact for every number, but RISC-V's turns every NaN into the positive
// canonical NaN: a NaN's own sign is copied back, so a negative NaN prints
// "-nan" there as everywhere. The sign is read with a float operation,
// which takes a register that holds no float (one not NaN-boxed) as the
// canonical NaN, as the conversion does. Numbers take the comparison only.
static double widened(float value)
{
    const double wide = value;
    if (value == value) return wide;
    return __builtin_copysign(wide, static_cast<double>(__builtin_copysignf(1.0f, value)));
}

int64_t QUELLOT_CALL call_float(float value)
{
    printf("call_float           => MyFloatValue  = %f\n", widened(value));
    return 0;
}

int64_t QUELLOT_CALL call_float_filename(const char *filename, float value)
{
    printf("call_float_filename  => MyFloatValue  = %f - filename = %s\n",
           widened(value), printable(filename));
    return 0;
}

int64_t QUELLOT_CALL call_double(double value)
{
    printf("call_double          => MyDoubleValue = %f\n", value);
    return 0;
}

int64_t QUELLOT_CALL call_double_filename(const char *filename, double value)
{
    printf("call_double_filename => MyDoubleValue = %f - filename = %s\n",
           value, printable(filename));
    return 0;
}
