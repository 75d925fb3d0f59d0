/* The measured loops: n calls of a probe through a pointer, as a host makes
 * them, and n of the same printf (same format, same arguments) made directly.
 * Both are compiled alike, in C, so that the loops themselves cost the same. */
#include <stdio.h>

#include "loops.h"

void probe_float_loop(probe_float probe, float value, long n)
{
    for (long i = 0; i < n; ++i) probe(value);
}

void probe_float_filename_loop(probe_float_filename probe, const char *filename, float value, long n)
{
    for (long i = 0; i < n; ++i) probe(filename, value);
}

void probe_double_loop(probe_double probe, double value, long n)
{
    for (long i = 0; i < n; ++i) probe(value);
}

void probe_double_filename_loop(probe_double_filename probe, const char *filename, double value, long n)
{
    for (long i = 0; i < n; ++i) probe(filename, value);
}

void printf_float_loop(float value, long n)
{
    for (long i = 0; i < n; ++i) printf("call_float           => MyFloatValue  = %f\n", (double)value);
}

void printf_float_filename_loop(const char *filename, float value, long n)
{
    for (long i = 0; i < n; ++i)
        printf("call_float_filename  => MyFloatValue  = %f - filename = %s\n", (double)value, filename);
}

void printf_double_loop(double value, long n)
{
    for (long i = 0; i < n; ++i) printf("call_double          => MyDoubleValue = %f\n", value);
}

void printf_double_filename_loop(const char *filename, double value, long n)
{
    for (long i = 0; i < n; ++i)
        printf("call_double_filename => MyDoubleValue = %f - filename = %s\n", value, filename);
}
