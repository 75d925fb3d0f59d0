/* A C host linked against the library at build time: it proves that the
 * header serves C and link-time binding, and that the host's own printf lines
 * and the probes' lines share one stream and keep call order. */
#include <stdio.h>

#include "quellot.h"

int main(void)
{
    long long results = 0;
    printf("host: before\n");
    results |= call_float(1234.5678f);
    printf("host: between\n");
    results |= call_double_filename("linked.txt", 2.5);
    results |= call_float_filename("", -0.0f);
    results |= call_double(0.1);
    printf("host: after, results %lld\n", results);
    return results == 0 ? 0 : 1;
}
