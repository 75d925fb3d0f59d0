/* See loops.c. */
#ifndef QUELLOT_BENCH_LOOPS_H
#define QUELLOT_BENCH_LOOPS_H

#include "quellot.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef int64_t (*probe_float)(float);
typedef int64_t (*probe_float_filename)(const char *, float);
typedef int64_t (*probe_double)(double);
typedef int64_t (*probe_double_filename)(const char *, double);

void probe_float_loop(probe_float probe, float value, long n);
void probe_float_filename_loop(probe_float_filename probe, const char *filename, float value, long n);
void probe_double_loop(probe_double probe, double value, long n);
void probe_double_filename_loop(probe_double_filename probe, const char *filename, double value, long n);

void printf_float_loop(float value, long n);
void printf_float_filename_loop(const char *filename, float value, long n);
void printf_double_loop(double value, long n);
void printf_double_filename_loop(const char *filename, double value, long n);

#ifdef __cplusplus
}
#endif

#endif
