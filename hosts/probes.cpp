#include "probes.h"

#include <bit>

#include "failure.h"
#include "quellot.h"

const Probe &probe_named(std::string_view name)
{
    for (const Probe &probe : probes)
        if (name == probe.name) return probe;
    throw usage("unknown probe '" + std::string(name) +
                "': expected call_float, call_float_filename, call_double or call_double_filename");
}

int64_t make_call(const Library &library, const std::string &path, const Call &call, bool by_ordinal)
{
    const Probe &probe = *call.probe;
    const auto resolve = [&]<typename F>(F) {
#if defined(_WIN32)
        const F function = by_ordinal ? library.function<F>(probe.ordinal) : library.function<F>(probe.name);
#else
        (void)by_ordinal;
        const F function = library.function<F>(probe.name);
#endif
        if (function == nullptr)
            throw Failure{exit_load, "library '" + path + "' has no export " +
                                         (by_ordinal ? "with ordinal " + std::to_string(probe.ordinal)
                                                     : "'" + std::string(probe.name) + "'") +
                                         ": " + Library::last_error()};
        return function;
    };
    const char *filename = call.filename.c_str();
    if (probe.single) {
        const float value = std::bit_cast<float>(static_cast<uint32_t>(call.bits));
        if (probe.filename) return resolve(decltype(&call_float_filename){})(filename, value);
        return resolve(decltype(&call_float){})(value);
    }
    const double value = std::bit_cast<double>(call.bits);
    if (probe.filename) return resolve(decltype(&call_double_filename){})(filename, value);
    return resolve(decltype(&call_double){})(value);
}
