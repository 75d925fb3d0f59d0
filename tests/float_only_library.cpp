// A library that exports call_float and none of the other probes, for the
// hosts' tests: a run that needs a missing probe must be refused before any
// call prints anything.
#include <stdio.h>

#include "quellot.h"

int64_t call_float(float value)
{
    printf("float-only call_float %f\n", static_cast<double>(value));
    return 0;
}
