// The exact twin, loaded at run time: every byte of its lines, the bits of
// values that "%f" cannot tell apart, and proof that it shows faults that the
// main library's lines hide.
#include <bit>
#include <charconv>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "loaded_probes.h"
#include "target_nans.h"

namespace {

// One call with the value given by its bits: 8 hex digits' worth for the
// float probes, 16 for the double probes.
std::string output_of_bits(const Probes &probes, Probe probe, uint64_t bits, const char *filename = "f")
{
    OutputCapture capture;
    int64_t result = -1;
    const float single = std::bit_cast<float>(static_cast<uint32_t>(bits));
    const double value = std::bit_cast<double>(bits);
    switch (probe) {
    case Probe::float_: result = probes.float_(single); break;
    case Probe::float_filename: result = probes.float_filename(filename, single); break;
    case Probe::double_: result = probes.double_(value); break;
    case Probe::double_filename: result = probes.double_filename(filename, value); break;
    }
    EXPECT_EQ(result, 0);
    return capture.finish();
}

struct ExactLine {
    Probe probe;
    uint64_t bits;
    const char *filename;
    std::string expected;
};

TEST(ExactTwin, EveryByteOfEveryLine)
{
    const Probes exact(exact_library_path);
    const ExactLine lines[] = {
        {Probe::float_, 0x449a522b, nullptr, "call_float           => MyFloatValue  = 0x449a522b\n"},
        {Probe::float_filename, 0x449a522b, "data.bin",
         "call_float_filename  => MyFloatValue  = 0x449a522b - filename = data.bin\n"},
        {Probe::double_, 0x40934a456d5cfaad, nullptr, "call_double          => MyDoubleValue = 0x40934a456d5cfaad\n"},
        {Probe::double_filename, 0x40934a456d5cfaad, "data.bin",
         "call_double_filename => MyDoubleValue = 0x40934a456d5cfaad - filename = data.bin\n"},
        // Signalling and quiet NaNs with payloads, of both signs, arrive as sent.
        {Probe::float_, 0x7f800001, nullptr, "call_float           => MyFloatValue  = 0x7f800001\n"},
        {Probe::float_filename, 0x7fbfffff, "n", "call_float_filename  => MyFloatValue  = 0x7fbfffff - filename = n\n"},
        {Probe::float_, 0xffa00000, nullptr, "call_float           => MyFloatValue  = 0xffa00000\n"},
        {Probe::float_filename, 0xffc00001, "n", "call_float_filename  => MyFloatValue  = 0xffc00001 - filename = n\n"},
        {Probe::double_, 0x7ff0000000000001, nullptr, "call_double          => MyDoubleValue = 0x7ff0000000000001\n"},
        {Probe::double_filename, 0x7ff7ffffffffffff, "n",
         "call_double_filename => MyDoubleValue = 0x7ff7ffffffffffff - filename = n\n"},
        {Probe::double_, 0xfff8000000000001, nullptr, "call_double          => MyDoubleValue = 0xfff8000000000001\n"},
        // Negative zero and the smallest subnormals: all digits, leading zeros kept.
        {Probe::float_, 0x80000000, nullptr, "call_float           => MyFloatValue  = 0x80000000\n"},
        {Probe::float_, 0x00000001, nullptr, "call_float           => MyFloatValue  = 0x00000001\n"},
        {Probe::double_, 0x8000000000000000, nullptr, "call_double          => MyDoubleValue = 0x8000000000000000\n"},
        {Probe::double_filename, 0x0000000000000001, "n",
         "call_double_filename => MyDoubleValue = 0x0000000000000001 - filename = n\n"},
        // The halves of a double are not swapped or shared.
        {Probe::double_, 0x00000001ffffffff, nullptr, "call_double          => MyDoubleValue = 0x00000001ffffffff\n"},
        // File names: byte for byte, empty, split by a line feed, and null.
        {Probe::float_filename, 0x3f800000, "", "call_float_filename  => MyFloatValue  = 0x3f800000 - filename = \n"},
        {Probe::double_filename, 0x3ff0000000000000, "first\nsecond %s\xff",
         "call_double_filename => MyDoubleValue = 0x3ff0000000000000 - filename = first\nsecond %s\xff\n"},
        {Probe::float_filename, 0x3f800000, nullptr,
         "call_float_filename  => MyFloatValue  = 0x3f800000 - filename = (null)\n"},
        {Probe::double_filename, 0x3ff0000000000000, nullptr,
         "call_double_filename => MyDoubleValue = 0x3ff0000000000000 - filename = (null)\n"},
    };
    for (const ExactLine &line : lines)
        EXPECT_EQ(output_of_bits(exact, line.probe, line.bits, line.filename), as_written(line.expected));
}

TEST(ExactTwin, ExportsExactlyTheFourProbes)
{
    const Library library = load(exact_library_path);
    const char *const names[] = {"call_double", "call_double_filename", "call_float", "call_float_filename"};
    for (const char *name : names) EXPECT_NE(library.function<void (*)()>(name), nullptr) << name;
    for (const char *name : {"DllMain", "printable", "bits_of", "call_int"})
        EXPECT_EQ(library.function<void (*)()>(name), nullptr) << name;
#if defined(_WIN32)
    for (unsigned ordinal = 1; ordinal <= 4; ++ordinal)
        EXPECT_EQ(library.function<void (*)()>(ordinal), library.function<void (*)()>(names[ordinal - 1]))
            << "ordinal " << ordinal;
    EXPECT_EQ(library.function<void (*)()>(5u), nullptr);
#endif
}

// What a faulty FFI delivers instead of the value it was given.
uint64_t widened_and_narrowed(uint64_t bits)
{
    // Volatile both ways, or the compiler drops the round trip as a no-op.
    volatile float sent = std::bit_cast<float>(static_cast<uint32_t>(bits));
    volatile double widened = sent;  // quiets a signalling NaN
    return std::bit_cast<uint32_t>(static_cast<float>(widened));
}

uint64_t through_decimal(uint64_t bits, int digits)
{
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, std::bit_cast<double>(bits),
                                   std::chars_format::scientific, digits - 1).ptr;
    double value = 0;
    std::from_chars(text, end, value);
    return std::bit_cast<uint64_t>(value);
}

TEST(ExactTwin, ShowsFaultsThatTheMainLibraryCannot)
{
    const Probes main_library;
    const Probes exact(exact_library_path);
    struct Fault {
        const char *what;
        Probe probe;
        uint64_t sent;
        uint64_t arrived;
    };
    // Signalling NaNs by this target's convention: a clear quiet bit marks
    // one on most targets, a set one on legacy MIPS and hppa.
    const bool clear_signals = quiet_bit_marks_quiet();
    const uint64_t signalling = clear_signals ? 0x7f800001 : 0x7fc00001;
    const Fault faults[] = {
        {"a float sNaN widened on the way", Probe::float_, signalling, widened_and_narrowed(signalling)},
        // Written out: on RISC-V the round trip would also drop the sign,
        // which the main library shows.
        {"a negative float sNaN after a pointer, quieted", Probe::float_filename,
         clear_signals ? 0xffa00000 : 0xffe00000, clear_signals ? 0xffe00000 : 0xffa00000},
        // 0.1 + 0.2: its 15-digit decimal reads back as 0.3.
        {"a double through 15 digits", Probe::double_, 0x3fd3333333333334, through_decimal(0x3fd3333333333334, 15)},
        {"0.1's neighbour through 16 digits", Probe::double_filename, 0x3fb999999999999b,
         through_decimal(0x3fb999999999999b, 16)},
        {"a subnormal flushed to zero", Probe::double_, 0x0000000000000001, 0},
    };
    for (const Fault &fault : faults) {
        ASSERT_NE(fault.sent, fault.arrived) << fault.what;
        EXPECT_EQ(output_of_bits(main_library, fault.probe, fault.sent),
                  output_of_bits(main_library, fault.probe, fault.arrived))
            << fault.what;
        EXPECT_NE(output_of_bits(exact, fault.probe, fault.sent), output_of_bits(exact, fault.probe, fault.arrived))
            << fault.what;
    }
}

} // namespace
