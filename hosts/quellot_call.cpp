// quellot-call: the reference host. It loads the probe library at run time,
// resolves a probe by name (or, on Windows, by ordinal) and calls it exactly as
// a correct FFI would, so that its output is the known-good side of a check.
// This file is its command line; the call list, the values and the probes
// have files of their own.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <csignal>
#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#endif

#include "call_list.h"
#include "checker.h"
#include "diagnoses.h"
#include "failure.h"
#include "generate.h"
#include "library.h"
#include "probes.h"
#include "system_text.h"
#include "values.h"

namespace {

constexpr const char *help = R"help(usage:
  quellot-call [--library PATH] [--bits] PROBE [FILENAME] VALUE
  quellot-call [--library PATH] [--bits] --ordinal N [FILENAME] VALUE   (Windows)
  quellot-call [--library PATH] --replay FILE
  quellot-call [--library PATH | --exact] [--accept IDS] [--junit FILE]
               --check CALLS TRANSCRIPT
  quellot-call --generate N [--seed S]
  quellot-call [--library PATH]
  quellot-call --help

Calls one probe of the quellot library with VALUE (and FILENAME for the
file-name probes). The probe prints its own report line on standard output.
With no PROBE, runs a demo that calls each of the four probes once. Every
probe a run needs is resolved before the first call.

  PROBE          call_float, call_float_filename, call_double or
                 call_double_filename
  --ordinal N    resolve the probe by its export ordinal instead of its name:
                 1 call_double, 2 call_double_filename, 3 call_float,
                 4 call_float_filename (Windows only; Linux has no ordinals)
  --library PATH load this library instead of the default one: the library
                 beside quellot-call, or else the one in the installed tree
  --exact        load the exact library instead of the main one, from the same
                 place: its reports show the bits that arrived (0x449a522b)
                 where the main library's show "%f" decimals (1234.567749)
  --replay FILE  make every call of a call list (such as conformance/calls.txt)
                 in order, after checking every line; a line is
                 PROBE <tab> BITS [<tab> FILENAME], with BITS as for --bits
                 but without 0x, and the escapes \\ \t \n \r \xHH in FILENAME;
                 blank lines and lines starting with "#" are comments
  --check CALLS TRANSCRIPT
                 compare an FFI's transcript of the call list CALLS (TRANSCRIPT
                 "-" for standard input) with the reports the library prints
                 for the same calls, and name the fault behind each difference;
                 the exact library is the default when TRANSCRIPT shows bit
                 patterns (or with --exact)
  --accept IDS   with --check: the diagnosis ids (such as quieted,payload-lost)
                 of known limitations, separated by commas; a finding whose
                 diagnoses are all accepted is still printed, marked accepted,
                 and does not fail the check
  --junit FILE   with --check: also write the findings to FILE as a JUnit XML
                 report, a test case per group of the call list (the calls
                 after a comment)
  --generate N   write a call list of N calls to standard output: every probe,
                 every class of value, file names with every byte; the same
                 bytes for the same seed on every machine
  --seed S       with --generate: the seed, a number (default 1)
  --bits         VALUE is the raw IEEE bit pattern in hexadecimal: 8 digits for
                 the float probes, 16 for the double probes, optional 0x; for
                 signalling NaNs, NaN payloads and exact subnormals
  --             end of options

VALUE is a decimal number such as 1234.5678, .5 or 1e-3 (rounded once, straight
to the probe's precision), a hexadecimal floating-point number such as 0x1.8p1,
inf or nan, each with an optional "-" (-0, -nan); nothing else ("+1",
"infinity", "nan(1)", "0xinf" are refused: --bits sends any NaN). A value too
large or too small for the probe's precision is refused.

Exit status: 0 when every probe returned 0; 1 when a probe returned anything
else (every call is still made); for --check, 0 when every report is identical
or differs only as accepted, and 1 when any differs (or a probe of the
reference returned non-zero); 2 for a usage error (unknown probe or
option, an option given twice or with an empty value, wrong number of
arguments, a value that does not parse or is out of range, a call list that
cannot be read whole or holds a malformed line, with its number); 3 when the library cannot be loaded or the
probe cannot be resolved; 4 when quellot-call itself fails: standard output
cannot be written (the help, or the probes' lines, also to a pipe whose reader
has gone), the reference cannot be captured, or memory runs out.
)help";

// Prints `failure` as one line on standard error and returns its exit
// status. The message may quote a path, a value or a call list's line, so
// its control bytes are escaped: a NUL would cut the line short, a line feed
// or carriage return split or overwrite it.
int report(const Failure &failure)
{
    std::string line = "quellot-call: ";
    for (const char c : failure.message) {
        const auto ch = static_cast<unsigned char>(c);
        if (ch >= 0x20 && ch != 0x7f) {
            line += c;
            continue;
        }
        line += c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : "\\x" + hex_digits(ch, 2);
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    return failure.code;
}

// Flushes standard output and refuses to report success when anything
// written to it was lost; `what` says what was written.
void check_output(const char *what)
{
    const bool flushed = std::fflush(stdout) == 0;
    const std::string reason = flushed ? "" : std::string(": ") + std::strerror(errno);
    if (!flushed || std::ferror(stdout))
        throw Failure{exit_host, std::string("cannot write ") + what + " to standard output" + reason};
}

// A library beside this program, as in the build tree and on Windows;
// else where an installed tree keeps libraries. A path too long to look at
// is not there: loading it then says why.
std::string default_library(const std::string &file)
{
    const std::string beside = Library::beside_executable(file);
    std::error_code unknown;
    if (std::filesystem::exists(system_path(beside), unknown)) return beside;
    return Library::beside_executable(QUELLOT_INSTALLED_LIBRARY_DIR "/" + file);
}

// Loads the library, resolves every probe the calls need and only then
// makes the calls, in order. Every call is made even when a probe returns
// non-zero (a library under test), and the first such call is reported;
// `calls` is a CallList or a vector of calls; `list`, the call list's file.
template <typename Calls>
int call_all(const std::string &path, const Calls &calls, bool by_ordinal, const std::string &list = "")
{
    std::string error;
    const Library library = Library::open(path, error);
    if (!library) throw Failure{exit_load, "cannot load library '" + path + "': " + error};
    ResolvedProbes resolved(library, path, by_ordinal);
    for (const Call &call : calls) resolved.need(*call.probe);

    Call first;
    int64_t first_result = 0;
    size_t failed = 0;
    for (const Call &call : calls) {
        const int64_t result = resolved.call(call);
        if (result != 0 && failed++ == 0) {
            first = call;
            first_result = result;
        }
    }
    std::optional<Failure> nonzero;
    if (failed != 0) {
        const std::string where = list.empty() ? "" : list + ":" + std::to_string(first.line) + ": ";
        const std::string others = failed == 1 ? "" : " (and " + std::to_string(failed - 1) + " later call" +
                                                          (failed == 2 ? "" : "s") + " too)";
        nonzero = Failure{exit_result, where + describe(first) + " returned 0x" +
                                           hex_digits(static_cast<uint64_t>(first_result), 16) + ", not 0" + others};
    }
    // The probes never check their printf; the host does, once at the end,
    // so that a transcript lost to a full disk is not taken for a good one.
    // When both go wrong, each has its line and the lost output its status.
    try {
        check_output("the probes' lines");
    } catch (const Failure &) {
        if (nonzero) report(*nonzero);
        throw;
    }
    if (nonzero) throw *nonzero;
    return 0;
}

// The whole number `text` given to `option`.
uint64_t number(std::string_view text, const char *option)
{
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        throw usage(std::string(option) + " " + quoted(text) + " is not a whole number");
    return value;
}

int run(const std::vector<std::string_view> &args)
{
    std::string path;
    bool exact = false;
    std::string replay;
    std::vector<std::string_view> check;
    std::string_view accept, junit, generate, seed;
    bool bits = false;
    bool by_ordinal = false;
    Call request;
    size_t i = 0;
    // An empty value is refused rather than taken for no option at all (an
    // empty --library would even load the program itself).
    const auto option_value = [&](std::string_view option) {
        if (++i == args.size()) throw usage(std::string(option) + " needs a value");
        if (args[i].empty()) throw usage(std::string(option) + " needs a value, not an empty one");
        return args[i];
    };
    std::vector<std::string_view> given;
    for (; i < args.size() && args[i].starts_with("--"); ++i) {
        const std::string_view option = args[i];
        if (option == "--") {
            ++i;
            break;
        }
        // The last of two would win silently.
        if (std::find(given.begin(), given.end(), option) != given.end())
            throw usage("option " + quoted(option) + " is given twice");
        given.push_back(option);
        if (option == "--help") {
            if (args.size() != 1) throw usage("--help takes no other argument");
            std::fputs(help, stdout);
            check_output("the help");
            return 0;
        }
        if (option == "--library") {
            path = option_value(option);
        } else if (option == "--replay") {
            replay = option_value(option);
        } else if (option == "--check") {
            check.push_back(option_value(option));
            check.push_back(option_value(option));
        } else if (option == "--accept") {
            accept = option_value(option);
        } else if (option == "--junit") {
            junit = option_value(option);
        } else if (option == "--generate") {
            generate = option_value(option);
        } else if (option == "--seed") {
            seed = option_value(option);
        } else if (option == "--exact") {
            exact = true;
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
            throw usage("unknown option " + quoted(option));
        }
    }
    std::vector<std::string_view> rest(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
    if (exact && !path.empty()) throw usage("--exact and --library both name the library: give one");

    if (!generate.empty()) {
        if (given.size() != (seed.empty() ? 1 : 2) || !rest.empty())
            throw usage("--generate takes only N and --seed S");
        const uint64_t count = number(generate, "--generate");
#if defined(_WIN32)
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        generate_calls(count, seed.empty() ? 1 : number(seed, "--seed"), stdout);
        check_output("the call list");
        return 0;
    }
    if (!seed.empty()) throw usage("--seed goes with --generate");
    if (check.empty() && (!accept.empty() || !junit.empty()))
        throw usage(std::string(!accept.empty() ? "--accept" : "--junit") + " goes with --check");
    if (!check.empty()) {
        if (bits || by_ordinal || !rest.empty() || !replay.empty())
            throw usage("--check takes no --bits, --ordinal, --replay, PROBE or VALUE");
        CheckRequest checking;
        checking.calls = check[0];
        checking.transcript = check[1];
        checking.library = path;
        checking.main_library = default_library(QUELLOT_LIBRARY_FILE);
        checking.exact_library = default_library(QUELLOT_EXACT_LIBRARY_FILE);
        checking.exact = exact;
        checking.junit = junit;
        for (size_t at = 0; at <= accept.size() && !accept.empty();) {
            const size_t comma = std::min(accept.find(',', at), accept.size());
            const std::string id(accept.substr(at, comma - at));
            if (!known_diagnosis(id)) throw usage("--accept: '" + id + "' is not a diagnosis id");
            checking.accepted.insert(id);
            at = comma + 1;
        }
        const int status = ::check(checking);
        check_output("the findings");
        return status;
    }
    if (path.empty()) path = default_library(exact ? QUELLOT_EXACT_LIBRARY_FILE : QUELLOT_LIBRARY_FILE);

    if (!replay.empty()) {
        if (bits || by_ordinal || !rest.empty())
            throw usage("--replay takes no --bits, --ordinal, PROBE or VALUE: the call list holds them");
        return call_all(path, CallList::read(replay), false, replay);
    }

    if (request.probe == nullptr && rest.empty()) {
        if (bits) throw usage("--bits needs a PROBE and a VALUE");
        std::vector<Call> demo;
        for (const char *name : {"call_float", "call_double", "call_float_filename", "call_double_filename"}) {
            const Probe &probe = probe_named(name);
            demo.push_back({&probe, parse_value("1234.5678", probe.single),
                            probe.filename ? "sample data.txt" : ""});
        }
        return call_all(path, demo, false);
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
#if defined(_WIN32)
    // The bytes a C program's argv would hold, as before the command line was
    // read in wide characters.
    const std::string filename = probe.filename ? ansi(std::string(rest[0])) : "";
#else
    const std::string filename = probe.filename ? std::string(rest[0]) : "";
#endif
    request.filename = filename.c_str();
    // A bad value is refused before the library is even loaded.
    request.bits = bits ? parse_bits(rest.back(), probe.single, true) : parse_value(rest.back(), probe.single);
    return call_all(path, std::vector<Call>{request}, by_ordinal);
}


} // namespace

#if defined(_WIN32)
// The command line in wide characters, so that a path outside the ANSI code
// page arrives whole; it is kept in UTF-8 from here on.
int wmain(int argc, wchar_t **argv)
#else
int main(int argc, char **argv)
#endif
{
#if defined(SIGPIPE)
    // A pipe whose reader has gone is lost output like any other: every
    // call is still made, and the exit status says so.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    try {
#if defined(_WIN32)
        std::vector<std::string> utf8_args;
        for (int i = 1; i < argc; ++i) utf8_args.push_back(utf8(argv[i]));
        return run(std::vector<std::string_view>(utf8_args.begin(), utf8_args.end()));
#else
        return run(std::vector<std::string_view>(argv + 1, argv + argc));
#endif
    } catch (const Failure &failure) {
        return report(failure);
    } catch (const std::bad_alloc &) {
        return report({exit_host, "not enough memory"});
    } catch (const std::exception &error) {
        return report({exit_host, error.what()});
    }
}
