// A library under test whose probes do not all return 0, for the hosts'
// tests: a result in the high half only (which an int exit status would
// lose), one that is 0 in its low byte (lost by an exit status of 8 bits),
// all bits set, and 0. Each prints a line of its own so that the tests can
// see which calls were made.
#include <stdio.h>

#include "quellot.h"

int64_t call_float(float value)
{
    printf("nonzero call_float %f\n", static_cast<double>(value));
    return INT64_C(0x100000000);
}

int64_t call_double(double value)
{
    printf("nonzero call_double %f\n", value);
    return 256;
}

int64_t call_float_filename(const char *filename, float value)
{
    printf("nonzero call_float_filename %f %s\n", static_cast<double>(value), filename);
    return -1;
}

int64_t call_double_filename(const char *filename, double value)
{
    printf("nonzero call_double_filename %f %s\n", value, filename);
    return 0;
}
