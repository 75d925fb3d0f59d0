// quellot-call: the reference host. It loads the probe library at run time,
// resolves a probe by name (or, on Windows, by ordinal) and calls it exactly as
// a correct FFI would, so that its output is the known-good side of a check.
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
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
    return {exit_usage, message};
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
  quellot-call [--library PATH] --replay FILE
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
  --library PATH load this library instead of the default one: the library
                 beside quellot-call, or else the one in the installed tree
  --replay FILE  make every call of a call list (such as conformance/calls.txt)
                 in order, after checking every line; a line is
                 PROBE <tab> BITS [<tab> FILENAME], with BITS as for --bits and
                 the escapes \\ \t \n \r \xHH in FILENAME; "#" starts a comment
  --bits         VALUE is the raw IEEE bit pattern in hexadecimal: 8 digits for
                 the float probes, 16 for the double probes, optional 0x; for
                 signalling NaNs, NaN payloads and exact subnormals
  --             end of options

VALUE is a decimal number (rounded once, straight to the probe's precision),
a hexadecimal floating-point number such as 0x1.8p1, inf, -inf, nan or -0.
A decimal value too large or too small for the probe's precision is refused.

Exit status: the probe's result (0); 2 for a usage error (unknown probe, wrong
number of arguments, a value that does not parse or is out of range, a malformed
call list line, with its number); 3 when the
library cannot be loaded or the probe cannot be resolved.
)";

const Probe &probe_named(std::string_view name)
{
    for (const Probe &probe : probes)
        if (name == probe.name) return probe;
    throw usage("unknown probe '" + std::string(name) +
                "': expected call_float, call_float_filename, call_double or call_double_filename");
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
            throw usage(quoted + " is not a " + precision + " bit pattern of " +
                        std::to_string(2 * sizeof(T)) + " hexadecimal digits");
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

// Refuses a value that the call's probe cannot take.
void check_value(const Call &call, bool bits)
{
    if (call.probe->single)
        parse_value<float>(call.value, bits);
    else
        parse_value<double>(call.value, bits);
}

// A call list's FILENAME field with its escapes (\\ \t \n \r \xHH) decoded.
std::string unescape(std::string_view field)
{
    std::string name;
    for (size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c < 0x20 || c > 0x7e)
            throw usage("FILENAME holds a byte that is not printable ASCII; write it as \\xHH");
        if (c != '\\') {
            name += c;
            continue;
        }
        const char escape = ++i < field.size() ? field[i] : '\0';
        if (escape == '\\' || escape == 't' || escape == 'n' || escape == 'r') {
            name += escape == 't' ? '\t' : escape == 'n' ? '\n' : escape == 'r' ? '\r' : '\\';
            continue;
        }
        unsigned byte = 0;
        const std::string_view hex = escape == 'x' ? field.substr(i + 1, 2) : std::string_view();
        const auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), byte, 16);
        if (escape != 'x' || hex.size() != 2 || ec != std::errc() || end != hex.data() + 2)
            throw usage("FILENAME has a bad escape at '" + std::string(field.substr(i - 1, 4)) +
                        "': use \\\\, \\t, \\n, \\r or \\xHH");
        if (byte == 0) throw usage("FILENAME cannot hold \\x00, which would end the name");
        name += static_cast<char>(byte);
        i += 2;
    }
    return name;
}

// Every call of a call list, checked before any is made: one a line,
// PROBE <tab> BITS [<tab> FILENAME]; blank lines and "#" lines are comments.
std::vector<Call> read_call_list(const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) throw usage("cannot read call list '" + file + "'");
    std::vector<Call> calls;
    std::string line;
    for (size_t number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.front() == '#') continue;
        try {
            std::vector<std::string_view> fields;
            for (size_t start = 0;;) {
                const size_t tab = line.find('\t', start);
                fields.emplace_back(std::string_view(line).substr(start, tab - start));
                if (tab == std::string::npos) break;
                start = tab + 1;
            }
            Call call{&probe_named(fields[0]), "", std::string(fields[1 % fields.size()])};
            const size_t wanted = call.probe->filename ? 3 : 2;
            if (fields.size() != wanted)
                throw usage(std::string(call.probe->name) + " takes " + std::to_string(wanted) +
                            " tab-separated fields, got " + std::to_string(fields.size()));
            check_value(call, true);
            if (call.probe->filename) call.filename = unescape(fields[2]);
            calls.push_back(std::move(call));
        } catch (const Failure &failure) {
            throw Failure{failure.code, file + ":" + std::to_string(number) + ": " + failure.message};
        }
    }
    return calls;
}

// Loads the library and makes the calls in order; the result is the probes'
// results combined, 0 when every one returned 0.
int call_all(const std::string &path, const std::vector<Call> &calls, bool by_ordinal, bool bits)
{
    std::string error;
    const Library library = Library::open(path, error);
    if (!library) throw Failure{exit_load, "cannot load library '" + path + "': " + error};
    int64_t result = 0;
    for (const Call &step : calls) result |= call(library, path, step, by_ordinal, bits);
    return static_cast<int>(result);
}

int run(const std::vector<std::string_view> &args)
{
    // The library beside this program, as in the build tree and on Windows;
    // else where an installed tree keeps libraries.
    std::string path = Library::beside_executable(QUELLOT_LIBRARY_FILE);
    if (!std::filesystem::exists(path))
        path = Library::beside_executable(QUELLOT_INSTALLED_LIBRARY_DIR "/" QUELLOT_LIBRARY_FILE);
    std::string replay;
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
            // dlopen("") would hand back the program itself.
            if (path.empty()) throw usage("--library needs a path, not an empty one");
        } else if (option == "--replay") {
            replay = option_value(option);
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

    if (!replay.empty()) {
        if (bits || by_ordinal || !rest.empty())
            throw usage("--replay takes no --bits, --ordinal, PROBE or VALUE: the call list holds them");
        return call_all(path, read_call_list(replay), false, true);
    }

    if (request.probe == nullptr && rest.empty()) {
        if (bits) throw usage("--bits needs a PROBE and a VALUE");
        const std::vector<Call> demo = {
            {&probe_named("call_float"), "", "1234.5678"},
            {&probe_named("call_double"), "", "1234.5678"},
            {&probe_named("call_float_filename"), "sample data.txt", "1234.5678"},
            {&probe_named("call_double_filename"), "sample data.txt", "1234.5678"},
        };
        return call_all(path, demo, false, false);
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
    check_value(request, bits);
    return call_all(path, {request}, by_ordinal, bits);
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
