// The four probes as quellot-call knows them (name, export ordinal, the
// value's precision, whether a file name comes first), and a call of one
// through a loaded library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "library.h"

struct Probe {
    const char *name;
    unsigned ordinal;
    bool single;
    bool filename;
};

// In ordinal order, which is also the ascending order of the names.
inline constexpr Probe probes[] = {
    {"call_double", 1, false, false},
    {"call_double_filename", 2, false, true},
    {"call_float", 3, true, false},
    {"call_float_filename", 4, true, true},
};

// The probe called `name`; refuses any other name.
const Probe &probe_named(std::string_view name);

// One call: the probe, the value's IEEE bit pattern in the probe's precision
// (a float's in the low 32 bits) and the file name for the file-name probes.
struct Call {
    const Probe *probe = nullptr;
    uint64_t bits = 0;
    std::string filename;
    size_t line = 0; // its line in a call list; 0 for a call from the command line
};

// Makes `call` through `library` (loaded from `path`), resolving the probe by
// name or by ordinal, and returns the probe's result.
int64_t make_call(const Library &library, const std::string &path, const Call &call, bool by_ordinal);
