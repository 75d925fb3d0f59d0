// quellot-call: the reference host. It loads the probe library at run time,
// resolves a probe by name (or, on Windows, by ordinal) and calls it exactly as
// a correct FFI would, so that its output is the known-good side of a check.
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <vector>

#include "library.h"
#include "quellot.h"

namespace {

constexpr int exit_usage = 2;
constexpr int exit_load = 3;

struct Failure {
    int code;
    std::string message;
};

Failure usage(const std::string &message)
{
    return {exit_usage, message + " (see quellot-call --help)"};
}

struct Probe {
    const char *name;
    unsigned ordinal;
    bool single;
    bool filename;
};

// In ordinal order, which is also the ascending order of the names.
constexpr Probe probes[] = {
    {"call_double", 1, false, false},
    {"call_double_filename", 2, false, true},
    {"call_float", 3, true, false},
    {"call_float_filename", 4, true, true},
};

constexpr const char *help = R"(usage:
  quellot-call [--library PATH] [--bits] PROBE [FILENAME] VALUE
  quellot-call [--library PATH] [--bits] --ordinal N [FILENAME] VALUE   (Windows)
  quellot-call [--library PATH]
  quellot-call --help

Calls one probe of the quellot library with VALUE (and FILENAME for the
file-name probes) and exits with the probe's result. The probe prints its own
report line on standard output. With no PROBE, runs a demo that calls each of
the four probes once.

  PROBE          call_float, call_float_filename, call_double or
                 call_double_filename
  --ordinal N    resolve the probe by its export ordinal instead of its name:
                 1 call_double, 2 call_double_filename, 3 call_float,
                 4 call_float_filename (Windows only; Linux has no ordinals)
  --library PATH load this library instead of the one beside quellot-call
  --bits         VALUE is the raw IEEE bit pattern in hexadecimal: 8 digits for
                 the float probes, 16 for the double probes, optional 0x; for
                 signalling NaNs, NaN payloads and exact subnormals
  --             end of options

VALUE is a decimal number (rounded once, straight to the probe's precision),
a hexadecimal floating-point number such as 0x1.8p1, inf, -inf, nan or -0.
A decimal value too large or too small for the probe's precision is refused.

Exit status: the probe's result (0); 2 for a usage error (unknown probe, wrong
number of arguments, a value that does not parse or is out of range); 3 when the
library cannot be loaded or the probe cannot be resolved.
)";

const Probe &probe_named(std::string_view name)
{
    for (const Probe &probe : probes)
        if (name == probe.name) return probe;
    throw usage("unknown probe '" + std::string(name) +
                "': expected call_float, call_float_filename, call_double or "
                "call_double_filename");
}

bool strip_hex_prefix(std::string_view &text)
{
    if (text.size() < 2 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return false;
    text.remove_prefix(2);
    return true;
}

template <typename T>
T parse_value(std::string_view text, bool bits)
{
    constexpr const char *precision = sizeof(T) == 4 ? "single precision" : "double precision";
    const std::string quoted = "'" + std::string(text) + "'";
    if (bits) {
        using Raw = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;
        std::string_view digits = text;
        strip_hex_prefix(digits);
        Raw raw = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), raw, 16);
        if (digits.size() != 2 * sizeof(T) || ec != std::errc() || end != digits.data() + digits.size())
            throw usage("--bits VALUE " + quoted + " is not " + std::to_string(2 * sizeof(T)) +
                        " hexadecimal digits (a " + precision + " bit pattern)");
        return std::bit_cast<T>(raw);
    }
    // from_chars takes no "0x" and we take no "+", so the sign and the prefix
    // are read here and the rest must be an unsigned number.
    std::string_view body = text;
    const bool negative = !body.empty() && body.front() == '-';
    if (negative) body.remove_prefix(1);
    const auto format = strip_hex_prefix(body) ? std::chars_format::hex : std::chars_format::general;
    T value = 0;
    const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value, format);
    if (body.empty() || body.front() == '-' || ec == std::errc::invalid_argument ||
        end != body.data() + body.size())
        throw usage("VALUE " + quoted + " is not a number");
    if (ec == std::errc::result_out_of_range)
        throw usage("VALUE " + quoted + " is out of range for " + precision);
    return negative ? -value : value;
}

struct Call {
    const Probe *probe = nullptr;
    std::string filename;
    std::string value;
};

int64_t call(const Library &library, const std::string &path, const Call &call, bool by_ordinal,
             bool bits)
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
        const float value = parse_value<float>(call.value, bits);
        if (probe.filename) return resolve(decltype(&call_float_filename){})(filename, value);
        return resolve(decltype(&call_float){})(value);
    }
    const double value = parse_value<double>(call.value, bits);
    if (probe.filename) return resolve(decltype(&call_double_filename){})(filename, value);
    return resolve(decltype(&call_double){})(value);
}

Library load(const std::string &path)
{
    std::string error;
    Library library = Library::open(path, error);
    if (!library) throw Failure{exit_load, "cannot load library '" + path + "': " + error};
    return library;
}

int run(const std::vector<std::string_view> &args)
{
    std::string path = Library::beside_executable(QUELLOT_LIBRARY_FILE);
    bool bits = false;
    bool by_ordinal = false;
    Call request;
    size_t i = 0;
    const auto option_value = [&](std::string_view option) {
        if (++i == args.size()) throw usage(std::string(option) + " needs a value");
        return args[i];
    };
    for (; i < args.size() && args[i].starts_with("--"); ++i) {
        const std::string_view option = args[i];
        if (option == "--") {
            ++i;
            break;
        }
        if (option == "--help") {
            std::fputs(help, stdout);
            return 0;
        }
        if (option == "--library") {
            path = option_value(option);
        } else if (option == "--bits") {
            bits = true;
        } else if (option == "--ordinal") {
            const std::string_view text = option_value(option);
#if !defined(_WIN32)
            (void)text;
            throw usage("--ordinal: the Linux library has no ordinals; name the probe");
#else
            unsigned ordinal = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), ordinal);
            if (ec != std::errc() || end != text.data() + text.size() || ordinal < 1 || ordinal > 4)
                throw usage("--ordinal '" + std::string(text) + "' is not an ordinal from 1 to 4");
            request.probe = &probes[ordinal - 1];
            by_ordinal = true;
#endif
        } else {
            throw usage("unknown option '" + std::string(option) + "'");
        }
    }
    std::vector<std::string_view> rest(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());

    if (request.probe == nullptr && rest.empty()) {
        if (bits) throw usage("--bits needs a PROBE and a VALUE");
        const Library library = load(path);
        const Call demo[] = {
            {&probe_named("call_float"), "", "1234.5678"},
            {&probe_named("call_double"), "", "1234.5678"},
            {&probe_named("call_float_filename"), "sample data.txt", "1234.5678"},
            {&probe_named("call_double_filename"), "sample data.txt", "1234.5678"},
        };
        int64_t result = 0;
        for (const Call &step : demo) result |= call(library, path, step, false, false);
        return static_cast<int>(result);
    }
    if (request.probe == nullptr) {
        request.probe = &probe_named(rest.front());
        rest.erase(rest.begin());
    }
    const Probe &probe = *request.probe;
    const size_t wanted = probe.filename ? 2 : 1;
    if (rest.size() != wanted)
        throw usage(std::string(probe.name) + " takes " + (probe.filename ? "FILENAME VALUE" : "VALUE") +
                    ", got " + std::to_string(rest.size()) + " argument" + (rest.size() == 1 ? "" : "s"));
    if (probe.filename) request.filename = rest[0];
    request.value = rest.back();
    // Refuse a bad value before the library is even loaded.
    if (probe.single)
        parse_value<float>(request.value, bits);
    else
        parse_value<double>(request.value, bits);
    const Library library = load(path);
    return static_cast<int>(call(library, path, request, by_ordinal, bits));
}

} // namespace

int main(int argc, char **argv)
{
    try {
        return run(std::vector<std::string_view>(argv + 1, argv + argc));
    } catch (const Failure &failure) {
        std::fprintf(stderr, "quellot-call: %s\n", failure.message.c_str());
        return failure.code;
    }
}
