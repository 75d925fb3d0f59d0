#include "probes.h"


#include "call_list.h"
#include "failure.h"
#include "values.h"

const Probe &probe_named(std::string_view name)
{
    for (const Probe &probe : probes)
        if (name == probe.name) return probe;
    throw usage("unknown probe " + quoted(name) +
                ": expected call_float, call_float_filename, call_double or call_double_filename");
}

std::string describe(const Call &call)
{
    const std::string name = call.probe->filename ? "\"" + escape_filename(call.filename) + "\", " : "";
    return std::string(call.probe->name) + "(" + name + "bits " +
           hex_digits(call.bits, call.probe->single ? 8 : 16) + ")";
}

void ResolvedProbes::need(const Probe &probe)
{
    const auto resolve = [&]<typename F>(F &function) {
        if (function != nullptr) return;
#if defined(_WIN32)
        function = by_ordinal_ ? library_.function<F>(probe.ordinal) : library_.function<F>(probe.name);
#else
        function = library_.function<F>(probe.name);
#endif
        if (function == nullptr)
            throw Failure{exit_load, "library '" + path_ + "' has no export " +
                                         (by_ordinal_ ? "with ordinal " + std::to_string(probe.ordinal)
                                                      : "'" + std::string(probe.name) + "'") +
                                         ": " + Library::last_error()};
    };
    switch (probe.ordinal) {
    case 1: return resolve(double_);
    case 2: return resolve(double_filename_);
    case 3: return resolve(float_);
    default: return resolve(float_filename_);
    }
}

int64_t ResolvedProbes::call(const Call &call) const
{
    const char *filename = call.filename;
    switch (call.probe->ordinal) {
    case 1: return double_(double_value(call.bits));
    case 2: return double_filename_(filename, double_value(call.bits));
    case 3: return float_(float_value(call.bits));
    default: return float_filename_(filename, float_value(call.bits));
    }
}
