#include "diagnoses.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <cstdint>
#include <map>
#include <string_view>

#include "target_nans.h"
#include "values.h"

namespace {

constexpr size_t value_column = 40;
constexpr std::string_view filename_mark = " - filename = ";

} // namespace

ReportFields fields_of(std::string report)
{
    ReportFields fields;
    for (size_t at; (at = report.find("\r\n")) != std::string::npos;) report.erase(at, 1);
    if (!report.empty() && report.back() == '\n') report.pop_back();
    if (report.size() < value_column) return fields;
    const size_t mark = report.find(filename_mark, value_column);
    fields.value = report.substr(value_column, mark - value_column);
    if (mark != std::string::npos) {
        fields.has_filename = true;
        fields.filename = report.substr(mark + filename_mark.size());
    }
    return fields;
}

namespace {

// The bits of an exact report's value field, if it is one.
bool received_bits(const ReportFields &fields, bool single, uint64_t &bits)
{
    const size_t digits = single ? 8 : 16;
    if (fields.value.size() != digits + 2 || fields.value.compare(0, 2, "0x") != 0) return false;
    const char *first = fields.value.data() + 2;
    const auto [end, ec] = std::from_chars(first, first + digits, bits, 16);
    return ec == std::errc() && end == first + digits;
}

float as_float(uint64_t bits)
{
    return std::bit_cast<float>(static_cast<uint32_t>(bits));
}

uint64_t float_bits(float value)
{
    return std::bit_cast<uint32_t>(value);
}

// The bits of `bits` (of a call of the other precision when `from_single`
// differs) as a value of the wanted precision.
uint64_t converted(uint64_t bits, bool from_single, bool single)
{
    if (from_single == single) return bits;
    if (single) return float_bits(static_cast<float>(std::bit_cast<double>(bits)));
    return std::bit_cast<uint64_t>(static_cast<double>(as_float(bits)));
}

// The value after a decimal text of `digits` significant digits, read back
// as a C library reads it: a text beyond the largest finite value gives
// infinity, one below the smallest subnormal zero.
template <typename T>
T through_decimal(T value, int digits)
{
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, digits - 1).ptr;
    T read = 0;
    if (std::from_chars(text, end, read).ec == std::errc::result_out_of_range)
        read = std::fabs(value) > 1 ? std::numeric_limits<T>::infinity() : 0;
    return std::copysign(read, value);
}

uint64_t through_decimal(uint64_t bits, bool single, int digits)
{
    if (single) return float_bits(through_decimal(as_float(bits), digits));
    return std::bit_cast<uint64_t>(through_decimal(std::bit_cast<double>(bits), digits));
}

// Bytes 0x80-0xff read as Latin-1 and written as UTF-8.
std::string latin1_to_utf8(const std::string &name)
{
    std::string out;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xc0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3f));
        }
    }
    return out;
}

// Every byte that does not start a valid UTF-8 sequence replaced by U+FFFD.
std::string utf8_replaced(const std::string &name)
{
    std::string out;
    for (size_t i = 0; i < name.size();) {
        const auto byte = static_cast<unsigned char>(name[i]);
        const size_t length = byte < 0x80 ? 1 : byte >= 0xc2 && byte < 0xe0 ? 2 : byte >= 0xe0 && byte < 0xf0 ? 3
                              : byte >= 0xf0 && byte < 0xf5                  ? 4
                                                                             : 0;
        bool valid = length > 0 && i + length <= name.size();
        for (size_t k = 1; valid && k < length; ++k) valid = (static_cast<unsigned char>(name[i + k]) & 0xc0) == 0x80;
        if (valid) {
            out.append(name, i, length);
            i += length;
        } else {
            out += "\xef\xbf\xbd";
            ++i;
        }
    }
    return out;
}

} // namespace

std::vector<std::string> explain(const std::vector<Call> &calls, size_t index, const std::string &received,
                                 bool exact, const Printer &print, std::vector<size_t> &shifted_from)
{
    const Call &call = calls[index];
    const bool single = call.probe->single;
    const uint64_t sign = sign_bit(single);
    const ReportFields fields = fields_of(received);
    uint64_t arrived = 0;
    const bool shows_bits = exact && received_bits(fields, single, arrived);

    std::vector<std::string> ids;
    std::map<std::string, bool> seen;
    const auto confirm = [&](const std::string &id, const Attempt &attempt) {
        if (seen[id]) return;
        if (print(call, attempt) == received) {
            seen[id] = true;
            ids.push_back(id);
        }
    };
    const auto value = [&](const std::string &id, uint64_t bits) { confirm(id, {bits, call.filename}); };

    // Faults of the value.
    if (is_nan(call.bits, single)) {
        // A signalling NaN by this target's convention, quieted as its own
        // floating-point unit quiets it, or with its payload kept where a set
        // quiet bit marks a quiet NaN.
        if (is_signalling(call.bits, single)) {
            value("quieted", quieted(call.bits, single));
            if (quiet_bit_marks_quiet()) value("quieted", call.bits | quiet_bit(single));
        }
        // Any other NaN that arrived, unless quieting alone explains it.
        if (shows_bits && is_nan(arrived, single) && !seen["quieted"]) value("payload-lost", arrived);
        // x86's default NaN and this target's, of either sign.
        const uint64_t x86_default = quiet_bit(single) | (single ? 0x7f800000u : 0x7ff0000000000000u);
        for (const uint64_t nan : {x86_default, default_nan(single)})
            for (const uint64_t with_sign : {nan, nan | sign}) value("payload-lost", with_sign);
    }
    if (is_subnormal(call.bits, single)) value("flushed", call.bits & sign);
    if ((call.bits & sign) != 0) value("sign-lost", call.bits & ~sign);
    if (single) {
        // A float register or stack slot holding a double: the float is
        // read from the low half, on big-endian s390x (its register) and
        // m68k (the slot's first bytes) from the high half, and RISC-V
        // reads a value that is not NaN-boxed as the canonical NaN.
        const uint64_t widened = std::bit_cast<uint64_t>(static_cast<double>(as_float(call.bits)));
#if defined(__s390x__) || defined(__m68k__)
        value("double-as-float", widened >> 32);
#else
        value("double-as-float", widened & 0xffffffffu);
#endif
#if defined(__riscv)
        value("double-as-float", 0x7fc00000u);
#endif
#if defined(__alpha__)
        // Alpha holds a float in its register as a double, and a float
        // probe stores the register's sign, two exponent bits and the next
        // 29 bits: only a number of single precision's range, a subnormal
        // float not among them, comes back as itself.
        value("double-as-float", (widened >> 32 & 0xc0000000u) | (widened >> 29 & 0x3fffffffu));
#endif
    } else {
        // A double register holding a float: the float's bits in the low half
        // (in the high half on s390x and m68k), the other half whatever the register
        // held: read from the report where it shows, else the zeros that a
        // 32-bit load leaves, or the ones of RISC-V's NaN-boxing.
        const uint64_t narrow = float_bits(static_cast<float>(std::bit_cast<double>(call.bits)));
#if defined(__s390x__) || defined(__m68k__)
        value("float-as-double", narrow << 32 | (shows_bits ? arrived & 0xffffffffu : 0));
#else
        for (const uint64_t high : {shows_bits ? arrived >> 32 : 0, uint64_t{0}})
            value("float-as-double", high << 32 | narrow);
#if defined(__riscv)
        value("float-as-double", uint64_t{0xffffffff} << 32 | narrow);
#endif
#endif
        value("narrowed", std::bit_cast<uint64_t>(static_cast<double>(as_float(narrow))));
    }
    // Every N that explains the line: the checker names the one that
    // explains most of the transcript. A NaN has no decimal text: what
    // would read back is the default NaN, which payload-lost explains.
    for (int digits = 1; digits <= 17 && !is_nan(call.bits, single); ++digits) {
        const uint64_t sent = through_decimal(call.bits, single, digits);
        if (sent != call.bits) value("decimal-" + std::to_string(digits), sent);
    }
    // The value of a neighbouring call: next or previous in the list, of the
    // same width, or of the same probe.
    const auto neighbour = [&](size_t from, int step, auto &&same) {
        for (size_t other = from + static_cast<size_t>(step); other < calls.size(); other += static_cast<size_t>(step)) {
            if (!same(calls[other])) continue;
            const Attempt attempt{converted(calls[other].bits, calls[other].probe->single, single), call.filename};
            if (print(call, attempt) == received) {
                seen["shifted"] = true;
                if (std::find(ids.begin(), ids.end(), "shifted") == ids.end()) ids.push_back("shifted");
                shifted_from.push_back(other);
            }
            return;
        }
    };
    for (const int step : {-1, 1}) {
        neighbour(index, step, [](const Call &) { return true; });
        neighbour(index, step, [&](const Call &other) { return other.probe->single == single; });
        neighbour(index, step, [&](const Call &other) { return other.probe == call.probe; });
    }
    value("zero", 0);

    // Faults of the file name, the value having arrived intact.
    if (call.probe->filename && fields.has_filename) {
        const std::string name = call.filename;
        if (fields.filename == "(null)") confirm("name-null", {call.bits, "", true});
        if (fields.filename.size() < name.size() && name.compare(0, fields.filename.size(), fields.filename) == 0)
            confirm("name-truncated", {call.bits, fields.filename});
        for (const std::string &recoded : {latin1_to_utf8(name), utf8_replaced(name)})
            if (recoded != name) confirm("name-reencoded", {call.bits, recoded});
        if (ids.empty()) confirm("name-other", {call.bits, fields.filename});
    }
    return ids;
}

bool known_diagnosis(const std::string &id)
{
    if (id.starts_with("decimal-")) {
        const std::string digits = id.substr(8);
        int n = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        return ec == std::errc() && end == digits.data() + digits.size() && n >= 1 && n <= 17 &&
               digits == std::to_string(n);
    }
    return explanation(id) != id;
}

std::string explanation(const std::string &id)
{
    if (id.starts_with("decimal-"))
        return "the value went through a decimal text of " + id.substr(8) +
               " significant digits (a float needs 9, a double 17 to arrive intact)";
    static const std::map<std::string, std::string> words = {
        {"double-as-float", "a float probe received the low 32 bits of the value's double: a double was passed "
                            "where a float belongs"},
        {"float-as-double", "a double probe received the float's bits in the low half of its register: a float "
                            "was passed where a double belongs"},
        {"narrowed", "a double probe received the value rounded to single precision"},
        {"sign-lost", "the value arrived without its sign"},
        {"zero", "+0 arrived: nothing reached the register or stack slot that the probe reads"},
        {"flushed", "a subnormal arrived as zero: flushed to zero on the way"},
        {"quieted", "a signalling NaN arrived quiet: a conversion or a floating-point load on the way quieted "
                    "it"},
        {"payload-lost", "a NaN arrived with another payload or sign: the NaN was rebuilt, not passed as bits"},
        {"shifted", "the value of the previous or next call arrived: arguments or reports out of step"},
        {"after-pointer", std::string("the file-name probes' values are wrong while the one-argument probes of the "
                                      "same width are right: the value after a pointer did not reach ") +
                              slot_after_pointer()},
        {"name-truncated", "the file name arrived cut short"},
        {"name-reencoded", "the file name's bytes 0x80-0xff arrived re-encoded as UTF-8, or invalid UTF-8 "
                           "replaced: pass file names as bytes"},
        {"name-null", "a null pointer arrived instead of the file name: the probe printed \"(null)\""},
        {"name-other", "the value arrived intact, the file name differs in another way"},
        {"line-ends", "the transcript's line ends are not the ones this C runtime writes (CR LF or LF); "
                      "compared after converting them"},
        {"wrong-probe", "the report of another probe arrived for the call: the FFI called the wrong export"},
        {"missing", "no report arrived for the call"},
        {"extra", "a line that belongs to no call: the host's own output, or a report twice"},
        {"order", "the call's report arrived, but out of order"},
        {"unexplained", "a difference that none of the diagnoses confirms"},
    };
    const auto found = words.find(id);
    return found != words.end() ? found->second : id;
}

const char *slot_after_pointer()
{
#if defined(_WIN64)
    return "XMM1, the second argument's register on Win64";
#elif defined(__x86_64__)
    return "XMM0, the first floating-point register on System V x86-64";
#elif defined(__aarch64__)
    return "s0/d0, the first floating-point register on AArch64";
#elif defined(__i386__)
    return "the stack slot after the pointer on i386";
#elif defined(__arm__)
    return "s0/d0, the first VFP register on armhf";
#elif defined(__riscv)
    return "fa0, the first floating-point register on RISC-V";
#elif defined(__s390x__)
    return "f0, the first floating-point register on s390x";
#else
    return "its register or stack slot";
#endif
}
