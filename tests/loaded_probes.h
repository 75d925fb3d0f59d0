// The probe library (or its exact twin) loaded at run time, as a host loads
// it, with helpers to call any of its four probes and capture what the call
// prints.
#pragma once

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "library.h"
#include "quellot.h"
#include "stdout_capture.h"

inline const std::string library_path = Library::beside_executable(QUELLOT_LIBRARY_FILE);
inline const std::string exact_library_path = Library::beside_executable(QUELLOT_EXACT_LIBRARY_FILE);

inline Library load(const std::string &path = library_path)
{
    std::string error;
    Library library = Library::open(path, error);
    if (!library) ADD_FAILURE() << "cannot load " << path << ": " << error;
    return library;
}

// The four probes of one loaded library.
struct Probes {
    explicit Probes(const std::string &path = library_path) : library(load(path)) {}
    Library library;
    decltype(&call_float) float_ = library.function<decltype(&call_float)>("call_float");
    decltype(&call_float_filename) float_filename =
        library.function<decltype(&call_float_filename)>("call_float_filename");
    decltype(&call_double) double_ = library.function<decltype(&call_double)>("call_double");
    decltype(&call_double_filename) double_filename =
        library.function<decltype(&call_double_filename)>("call_double_filename");
};

enum class Probe { float_, float_filename, double_, double_filename };

inline const char *const prefixes[] = {
    "call_float           => MyFloatValue  = ",
    "call_float_filename  => MyFloatValue  = ",
    "call_double          => MyDoubleValue = ",
    "call_double_filename => MyDoubleValue = ",
};

inline bool has_filename(Probe probe) { return probe == Probe::float_filename || probe == Probe::double_filename; }
inline bool is_single(Probe probe) { return probe == Probe::float_ || probe == Probe::float_filename; }

inline int64_t call(const Probes &probes, Probe probe, double value, const char *filename)
{
    const float single = static_cast<float>(value);
    switch (probe) {
    case Probe::float_: return probes.float_(single);
    case Probe::float_filename: return probes.float_filename(filename, single);
    case Probe::double_: return probes.double_(value);
    case Probe::double_filename: return probes.double_filename(filename, value);
    }
    return -1;
}

// The output of one call, with the call's result.
inline std::string output_of(const Probes &probes, Probe probe, double value, const char *filename,
                      int64_t *result = nullptr)
{
    OutputCapture capture;
    const int64_t r = call(probes, probe, value, filename);
    if (result != nullptr) *result = r;
    return capture.finish();
}
