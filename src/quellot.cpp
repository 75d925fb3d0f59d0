// Only C headers here: on MinGW-w64 any C++ standard header switches printf
// to MinGW's own formatter, and the probes must call the runtime's printf.
#include <stdio.h>

#include "module.h"
#include "quellot.h"

int64_t call_float(float value)
{
    printf("call_float           => MyFloatValue  = %f\n", static_cast<double>(value));
    return 0;
}

int64_t call_float_filename(const char *filename, float value)
{
    printf("call_float_filename  => MyFloatValue  = %f - filename = %s\n",
           static_cast<double>(value), printable(filename));
    return 0;
}

int64_t call_double(double value)
{
    printf("call_double          => MyDoubleValue = %f\n", value);
    return 0;
}

int64_t call_double_filename(const char *filename, double value)
{
    printf("call_double_filename => MyDoubleValue = %f - filename = %s\n",
           value, printable(filename));
    return 0;
}
