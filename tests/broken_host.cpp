// broken_host: a deliberately faulty FFI, for testing `quellot-call --check`.
//
//     broken_host LIBRARY CALLS FAULT
//
// Makes every call of the call list CALLS through LIBRARY, as quellot-call
// --replay does, but with one FAULT made for real: probes called through
// mis-declared function pointers, values or file names changed on the way,
// reports lost or added. Its transcript is what a faulty FFI prints.
// Standard output carries the probes' lines only; an error prints one line on
// standard error and exits 2.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "call_list.h"
#include "failure.h"
#include "library.h"
#include "probes.h"
#include "quellot.h"
#include "target_nans.h"

namespace {

// A call whose file name the broken host owns, so that a fault can change it.
struct Step {
    const Probe *probe;
    uint64_t bits;
    std::string filename;
};

using Calls = std::vector<Step>;

// A fault: what happens to the calls before any is made, how each call is
// made, and what the host does after its n-th call of `total`. An empty
// member does that part as a correct FFI does.
struct Fault {
    std::function<void(Calls &)> change = {};
    std::function<int64_t(const Library &, const std::string &path, const Step &)> make = {};
    std::function<void(size_t n, size_t total)> after = {};
};

// The masks of a value's fields in its probe's precision.
struct Fields {
    uint64_t sign, exponent;
};

Fields fields(const Step &call)
{
    return call.probe->single ? Fields{1ull << 31, 0xffull << 23} : Fields{1ull << 63, 0x7ffull << 52};
}

float float_of(const Step &call)
{
    return std::bit_cast<float>(static_cast<uint32_t>(call.bits));
}

double double_of(const Step &call)
{
    return std::bit_cast<double>(call.bits);
}

// The probe of `call` as a function pointer of type F, whatever its real type.
template <typename F>
F resolve(const Library &library, const Step &call)
{
    const F function = library.function<F>(call.probe->name);
    if (function == nullptr)
        throw Failure{exit_usage, "no export '" + std::string(call.probe->name) + "': " + Library::last_error()};
    return function;
}

// The call made as a correct FFI makes it, the value's bits untouched.
int64_t correct(const Library &library, const std::string &, const Step &call)
{
    const char *name = call.filename.c_str();
    if (call.probe->single) {
        if (call.probe->filename) return resolve<FloatFilenameProbe>(library, call)(name, float_value(call.bits));
        return resolve<FloatProbe>(library, call)(float_value(call.bits));
    }
    if (call.probe->filename) return resolve<DoubleFilenameProbe>(library, call)(name, double_value(call.bits));
    return resolve<DoubleProbe>(library, call)(double_value(call.bits));
}

// Changes every call with `change`.
std::function<void(Calls &)> each(std::function<void(Step &)> change)
{
    return [change](Calls &calls) { std::for_each(calls.begin(), calls.end(), change); };
}

// Changes the file name of every file-name call with `change`.
std::function<void(Calls &)> each_name(std::function<void(std::string &)> change)
{
    return each([change](Step &call) {
        if (call.probe->filename) change(call.filename);
    });
}

// `value` written with `digits` significant digits and read back, as an FFI
// that passes values as text does. A text beyond the type's range reads as
// strtod reads it: an infinity when too large, a zero when too small.
template <typename T>
T through_decimal(T value, int digits)
{
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, digits - 1);
    T back = 0;
    const auto read = std::from_chars(text, written.ptr, back);
    if (read.ec == std::errc::result_out_of_range) {
        const bool large = std::string_view(text, written.ptr).find("e+") != std::string_view::npos;
        back = large ? std::numeric_limits<T>::infinity() : T(0);
        if (text[0] == '-') back = -back;
    }
    return back;
}

std::function<void(Calls &)> decimal(int digits)
{
    return each([digits](Step &call) {
        call.bits = call.probe->single
                        ? std::bit_cast<uint32_t>(through_decimal(float_of(call), digits))
                        : std::bit_cast<uint64_t>(through_decimal(double_of(call), digits));
    });
}

// Each call gets the value of the next call of the same width; the last one
// of a width gets the value of the one before it.
void shift(Calls &calls)
{
    for (const bool single : {true, false}) {
        std::vector<Step *> same;
        for (Step &call : calls)
            if (call.probe->single == single) same.push_back(&call);
        if (same.size() < 2) continue;
        const uint64_t before_last = same[same.size() - 2]->bits;
        for (size_t i = 0; i + 1 < same.size(); ++i) same[i]->bits = same[i + 1]->bits;
        same.back()->bits = before_last;
    }
}

// The first two neighbouring calls of different probes swapped.
void swap_neighbours(Calls &calls)
{
    const auto first = std::adjacent_find(calls.begin(), calls.end(),
                                          [](const Step &a, const Step &b) { return a.probe != b.probe; });
    if (first != calls.end()) std::iter_swap(first, first + 1);
}

// Bytes 0x80 to 0xff read as Latin-1 and written as UTF-8.
void latin1_to_utf8(std::string &name)
{
    std::string utf8;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xc0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3f));
        }
    }
    name = utf8;
}

// The float probes through pointers declared with a double parameter, given
// the float widened to double: the probe reads a float from where the
// caller put a double.
int64_t double_as_float(const Library &library, const std::string &path, const Step &call)
{
    if (!call.probe->single) return correct(library, path, call);
    const double value = float_of(call);
    if (call.probe->filename)
        return resolve<int64_t (*)(const char *, double)>(library, call)(call.filename.c_str(), value);
    return resolve<int64_t (*)(double)>(library, call)(value);
}

// The double probes through pointers declared with a float parameter, given
// the value rounded to float: the probe reads a double from where the caller
// put a float, with whatever the rest of that register or slot held.
int64_t float_as_double(const Library &library, const std::string &path, const Step &call)
{
    if (call.probe->single) return correct(library, path, call);
    const auto value = static_cast<float>(double_of(call));
    if (call.probe->filename)
        return resolve<int64_t (*)(const char *, float)>(library, call)(call.filename.c_str(), value);
    return resolve<int64_t (*)(float)>(library, call)(value);
}

// The file-name probes through pointers declared with a zero before the
// value: the value goes to the third argument's register or slot, and the
// probe reads the zero from the second's.
int64_t after_pointer(const Library &library, const std::string &path, const Step &call)
{
    if (!call.probe->filename) return correct(library, path, call);
    const char *name = call.filename.c_str();
    if (call.probe->single)
        return resolve<int64_t (*)(const char *, FloatValue, FloatValue)>(library, call)(name, float_value(0),
                                                                                          float_value(call.bits));
    return resolve<int64_t (*)(const char *, DoubleValue, DoubleValue)>(library, call)(name, double_value(0),
                                                                                        double_value(call.bits));
}

// The file-name probes given a null pointer instead of the name.
int64_t null_name(const Library &library, const std::string &path, const Step &call)
{
    if (!call.probe->filename) return correct(library, path, call);
    if (call.probe->single)
        return resolve<FloatFilenameProbe>(library, call)(nullptr, float_value(call.bits));
    return resolve<DoubleFilenameProbe>(library, call)(nullptr, double_value(call.bits));
}

// Ends the process at once, without flushing the C runtime's standard
// output: the reports still in its buffer are lost. On Windows msvcrt.dll
// flushes its streams when the process ends, even through _Exit (so Wine
// does), and only TerminateProcess ends it before that.
[[noreturn]] void end_unflushed()
{
#if defined(_WIN32)
    TerminateProcess(GetCurrentProcess(), 0);
#endif
    std::_Exit(0);
}

const std::map<std::string_view, Fault> &faults()
{
    static const std::map<std::string_view, Fault> table = {
        {"none", {}},
        {"double-as-float", {.make = double_as_float}},
        {"float-as-double", {.make = float_as_double}},
        {"narrowed", {.change = each([](Step &call) {
                          if (!call.probe->single)
                              call.bits = std::bit_cast<uint64_t>(double(static_cast<float>(double_of(call))));
                      })}},
        {"decimal-6", {.change = decimal(6)}},
        {"decimal-15", {.change = decimal(15)}},
        {"sign-lost", {.change = each([](Step &call) { call.bits &= ~fields(call).sign; })}},
        // A signalling NaN by this target's convention, quieted as its own
        // floating-point unit quiets it.
        {"quieted", {.change = each([](Step &call) {
                         if (is_signalling(call.bits, call.probe->single))
                             call.bits = quieted(call.bits, call.probe->single);
                     })}},
        // A subnormal: the exponent all zeros, the fraction not zero.
        {"flushed", {.change = each([](Step &call) {
                         if ((call.bits & fields(call).exponent) == 0) call.bits &= fields(call).sign;
                     })}},
        {"shifted", {.change = shift}},
        {"after-pointer", {.make = after_pointer}},
        {"name-reencoded", {.change = each_name(latin1_to_utf8)}},
        {"name-truncated", {.change = each_name([](std::string &name) { name.resize(std::min<size_t>(name.size(), 4)); })}},
        {"name-null", {.make = null_name}},
        {"missing", {.after = [](size_t n, size_t total) {
                         if (n == total) end_unflushed();
                     }}},
        {"extra", {.after = [](size_t n, size_t total) {
                       if (n == std::min<size_t>(10, total)) std::fputs("broken host: hello\n", stdout);
                   }}},
        {"order", {.change = swap_neighbours}},
    };
    return table;
}

int run(int argc, char **argv)
{
    if (argc != 4) {
        std::string names;
        for (const auto &[name, fault] : faults()) names += " " + std::string(name);
        throw usage("usage: broken_host LIBRARY CALLS FAULT, with FAULT one of" + names);
    }
    const std::string path = argv[1];
    const auto fault = faults().find(argv[3]);
    if (fault == faults().end()) throw usage("unknown fault '" + std::string(argv[3]) + "'");
    Calls calls;
    for (const Call &call : CallList::read(argv[2])) calls.push_back({call.probe, call.bits, call.filename});
    std::string error;
    const Library library = Library::open(path, error);
    if (!library) throw usage("cannot load library '" + path + "': " + error);

    const Fault &broken = fault->second;
    if (broken.change) broken.change(calls);
    for (size_t n = 1; n <= calls.size(); ++n) {
        const Step &call = calls[n - 1];
        if (broken.make)
            broken.make(library, path, call);
        else
            correct(library, path, call);
        if (broken.after) broken.after(n, calls.size());
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        return run(argc, argv);
    } catch (const Failure &failure) {
        std::fprintf(stderr, "broken_host: %s\n", failure.message.c_str());
        return exit_usage;
    }
}
