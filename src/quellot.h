/* quellot: four probes that print the floating-point argument they receive.
 * Two libraries declare them through this header: the main one, quellot,
 * whose lines show the value through "%f", and its exact twin, quellot_exact,
 * whose lines show the value's bit pattern instead (see below).
 *
 * Each probe writes exactly one line to standard output with a single printf
 * call of the runtime library the module links against, never flushes, keeps
 * no state and returns 0. The value is printed with "%f" (six decimals, never
 * exponent notation); a single-precision value is first widened exactly to
 * double precision, so its own digits show (1234.5678f prints 1234.567749).
 * The file name, where there is one, is printed byte for byte after the value;
 * it is never opened or interpreted, and a null pointer prints as "(null)".
 * The probes may be called from any number of threads at once.
 *
 * The result is declared as a 64-bit integer so that a caller reading it as a
 * 32-bit or as a 64-bit integer gets 0 either way.
 *
 * On 32-bit Windows the probes are __cdecl: every argument on the stack, the
 * caller removes them, the result in edx:eax. A caller that assumes
 * __stdcall leaves its stack off by the arguments' size after every call.
 *
 * The exact twin prints the same lines with the value field replaced by "0x"
 * and the argument's own bits in lower-case hexadecimal, 8 digits for a float
 * and 16 for a double, never widened or converted: a signalling NaN, a NaN
 * payload, a subnormal and the last bit of a double show as they arrived.
 * call_float(1234.5678f) prints "... MyFloatValue  = 0x449a522b".
 */
#ifndef QUELLOT_H
#define QUELLOT_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(QUELLOT_BUILD)
#    define QUELLOT_API __declspec(dllexport)
#  else
#    define QUELLOT_API __declspec(dllimport)
#  endif
#  define QUELLOT_CALL __cdecl
#else
#  define QUELLOT_API __attribute__((visibility("default")))
#  define QUELLOT_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Prints "call_float           => MyFloatValue  = %f\n";
 * the twin prints "0x" and the float's 8 hex digits in place of %f. */
QUELLOT_API int64_t QUELLOT_CALL call_float(float value);

/* Prints "call_float_filename  => MyFloatValue  = %f - filename = %s\n";
 * the twin prints "0x" and the float's 8 hex digits in place of %f. */
QUELLOT_API int64_t QUELLOT_CALL call_float_filename(const char *filename, float value);

/* Prints "call_double          => MyDoubleValue = %f\n";
 * the twin prints "0x" and the double's 16 hex digits in place of %f. */
QUELLOT_API int64_t QUELLOT_CALL call_double(double value);

/* Prints "call_double_filename => MyDoubleValue = %f - filename = %s\n";
 * the twin prints "0x" and the double's 16 hex digits in place of %f. */
QUELLOT_API int64_t QUELLOT_CALL call_double_filename(const char *filename, double value);

#ifdef __cplusplus
}
#endif

#endif
