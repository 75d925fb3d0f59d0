// The four probes as quellot-call knows them (name, export ordinal, the
// value's precision, whether a file name comes first), and the calls made
// through a loaded library.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "library.h"
#include "quellot.h"

// How a host hands a probe its value: as the float or double itself, or on
// m68k as an integer of the value's size. There every argument travels on
// the stack, and GCC may carry a float or double on its way there in an FPU
// register, whose load quiets a signalling NaN; an integer takes the same
// bytes of the stack without passing through the FPU.
#if defined(__m68k__)
using FloatValue = uint32_t;
using DoubleValue = uint64_t;
#else
using FloatValue = float;
using DoubleValue = double;
#endif
using FloatProbe = int64_t (*)(FloatValue);
using FloatFilenameProbe = int64_t (*)(const char *, FloatValue);
using DoubleProbe = int64_t (*)(DoubleValue);
using DoubleFilenameProbe = int64_t (*)(const char *, DoubleValue);

// A bit pattern (a float's in the low 32 bits) as the probe's value.
inline FloatValue float_value(uint64_t bits)
{
    return std::bit_cast<FloatValue>(static_cast<uint32_t>(bits));
}

inline DoubleValue double_value(uint64_t bits)
{
    return std::bit_cast<DoubleValue>(bits);
}

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
// (a float's in the low 32 bits) and the file name for the file-name probes,
// which the call does not own.
struct Call {
    const Probe *probe = nullptr;
    uint64_t bits = 0;
    const char *filename = "";
    size_t line = 0; // its line in a call list; 0 for a call from the command line
};

// The call as a message shows it: call_float_filename("a\tb", bits 3F800000).
std::string describe(const Call &call);

// The probes that a run needs, resolved in one library before any call is
// made, so that a library lacking one is refused before anything is printed.
class ResolvedProbes {
public:
    // Probes of `library`, loaded from `path`, to be resolved by name or by
    // ordinal.
    ResolvedProbes(const Library &library, const std::string &path, bool by_ordinal)
        : library_(library), path_(path), by_ordinal_(by_ordinal)
    {
    }

    // Resolves `probe` unless it already is; refuses (exit 3) a library that
    // lacks it.
    void need(const Probe &probe);

    // Makes `call`, whose probe is resolved, and returns the probe's result.
    int64_t call(const Call &call) const;

private:
    const Library &library_;
    const std::string &path_;
    bool by_ordinal_;
    DoubleProbe double_ = nullptr;
    DoubleFilenameProbe double_filename_ = nullptr;
    FloatProbe float_ = nullptr;
    FloatFilenameProbe float_filename_ = nullptr;
};
