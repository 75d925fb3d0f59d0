// The probes, loaded at run time as a host loads them, checked byte for byte.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "loaded_probes.h"
#include "printf_oracle.h"

namespace {

struct Line {
    Probe probe;
    double value;
    const char *filename;
    std::string expected;
};

TEST(ReportLine, EveryByteOfEveryFormat)
{
    const Probes probes;
    const float tiny = -4.9e-7f;
    const Line lines[] = {
        // The widening shows in the sixth decimal; the value after a pointer arrives too.
        {Probe::float_, 1234.5678, nullptr, "call_float           => MyFloatValue  = 1234.567749\n"},
        {Probe::double_, 1234.5678, nullptr, "call_double          => MyDoubleValue = 1234.567800\n"},
        {Probe::float_filename, 1234.5678, "data.bin",
         "call_float_filename  => MyFloatValue  = 1234.567749 - filename = data.bin\n"},
        {Probe::double_filename, 1234.5678, "data.bin",
         "call_double_filename => MyDoubleValue = 1234.567800 - filename = data.bin\n"},
        {Probe::float_, 2.5, nullptr, "call_float           => MyFloatValue  = 2.500000\n"},
        {Probe::float_filename, 2.5, "x", "call_float_filename  => MyFloatValue  = 2.500000 - filename = x\n"},
        {Probe::double_, 2.5, nullptr, "call_double          => MyDoubleValue = 2.500000\n"},
        {Probe::double_filename, 2.5, "x", "call_double_filename => MyDoubleValue = 2.500000 - filename = x\n"},
        {Probe::float_, 0.1, nullptr, "call_float           => MyFloatValue  = 0.100000\n"},
        {Probe::double_, 0.1, nullptr, "call_double          => MyDoubleValue = 0.100000\n"},
        {Probe::float_, 16777217.0, nullptr, "call_float           => MyFloatValue  = 16777216.000000\n"},
        // Negative zero and negatives too small for six decimals keep their sign.
        {Probe::float_, -0.0, nullptr, "call_float           => MyFloatValue  = -0.000000\n"},
        {Probe::double_, -0.0, nullptr, "call_double          => MyDoubleValue = -0.000000\n"},
        {Probe::float_filename, tiny, "n", "call_float_filename  => MyFloatValue  = -0.000000 - filename = n\n"},
        {Probe::double_filename, -4.9e-7, "n", "call_double_filename => MyDoubleValue = -0.000000 - filename = n\n"},
        {Probe::double_, 4.9e-7, nullptr, "call_double          => MyDoubleValue = 0.000000\n"},
        {Probe::double_, -123456.5, nullptr, "call_double          => MyDoubleValue = -123456.500000\n"},
        // File names are copied byte for byte and never interpreted.
        {Probe::double_filename, 1.0, "", "call_double_filename => MyDoubleValue = 1.000000 - filename = \n"},
        {Probe::float_filename, 1.0, "", "call_float_filename  => MyFloatValue  = 1.000000 - filename = \n"},
        {Probe::double_filename, 1.0, " my  file .txt ",
         "call_double_filename => MyDoubleValue = 1.000000 - filename =  my  file .txt \n"},
        {Probe::float_filename, 1.0, "caf\xc3\xa9-\xe9\xff\x01\x7f\t.dat",
         "call_float_filename  => MyFloatValue  = 1.000000 - filename = caf\xc3\xa9-\xe9\xff\x01\x7f\t.dat\n"},
        {Probe::double_filename, 1.0, "first\nsecond",
         "call_double_filename => MyDoubleValue = 1.000000 - filename = first\nsecond\n"},
        {Probe::float_filename, 1.0, "%s%n%d%%%f%99999999f",
         "call_float_filename  => MyFloatValue  = 1.000000 - filename = %s%n%d%%%f%99999999f\n"},
        {Probe::double_filename, 1.0, "C:\\no\\such\\dir\\file.txt",
         "call_double_filename => MyDoubleValue = 1.000000 - filename = C:\\no\\such\\dir\\file.txt\n"},
        // A null file name prints as "(null)" instead of being undefined.
        {Probe::float_filename, 3.0, nullptr, "call_float_filename  => MyFloatValue  = 3.000000 - filename = (null)\n"},
        {Probe::double_filename, 3.0, nullptr, "call_double_filename => MyDoubleValue = 3.000000 - filename = (null)\n"},
    };
    for (const Line &line : lines) {
        int64_t result = -1;
        EXPECT_EQ(output_of(probes, line.probe, line.value, line.filename, &result), as_written(line.expected));
        EXPECT_EQ(result, 0) << line.expected;
    }
}

// Values whose digits depend on the exact binary value, on ties and on the
// size of the number, checked against the independent oracle.
TEST(ReportLine, ValuesAsPrintfMayFormatThem)
{
    const Probes probes;
    const std::vector<double> values = {
        0.0078125, 0.0234375, -0.0078125, 0.5, 1.5, 0.9999995, 999999.9999995, 1e-6, 5e-7, -5e-7,
        1e15 + 0.3, 123456789012345678.0, 18446744073709551616.0, 1e22, 1e23, 4503599627370497.5,
        DBL_MAX, -DBL_MAX, DBL_MIN, std::numeric_limits<double>::denorm_min(), DBL_MIN - std::numeric_limits<double>::denorm_min(),
        FLT_MAX, -FLT_MAX, FLT_MIN, std::numeric_limits<float>::denorm_min(), FLT_MIN - std::numeric_limits<float>::denorm_min(),
        3.14159265358979, 16777217.0, 0.1, 0.3,
    };
    for (const Probe probe : {Probe::float_, Probe::float_filename, Probe::double_, Probe::double_filename}) {
        for (const double value : values) {
            if (is_single(probe) && std::fabs(value) > FLT_MAX) continue;
            const double sent = is_single(probe) ? static_cast<double>(static_cast<float>(value)) : value;
            const std::string out = output_of(probes, probe, value, "f");
            const std::string prefix = prefixes[static_cast<int>(probe)];
            const std::string suffix = as_written(has_filename(probe) ? " - filename = f\n" : "\n");
            ASSERT_GT(out.size(), prefix.size() + suffix.size()) << out;
            EXPECT_EQ(out.substr(0, prefix.size()), prefix);
            EXPECT_EQ(out.substr(out.size() - suffix.size()), suffix);
            const std::string text = out.substr(prefix.size(), out.size() - prefix.size() - suffix.size());
            EXPECT_TRUE(oracle::acceptable(text, sent)) << prefix << "'" << text << "' for " << sent;
        }
    }
}

// NaN and infinities print a runtime's own text and return 0 like every
// other value, whether the caller reads 32 or 64 bits of the result.
TEST(Result, ZeroForEveryValueReadAs32Or64Bits)
{
    const Probes probes;
    const double values[] = {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::signaling_NaN(), 0.0, -1.0, DBL_MAX};
    const auto float32 = probes.library.function<int32_t (*)(float)>("call_float");
    const auto double32 = probes.library.function<int32_t (*)(double)>("call_double");
    const auto float_filename32 = probes.library.function<int32_t (*)(const char *, float)>("call_float_filename");
    const auto double_filename32 = probes.library.function<int32_t (*)(const char *, double)>("call_double_filename");
    for (const double value : values) {
        for (const Probe probe : {Probe::float_, Probe::float_filename, Probe::double_, Probe::double_filename}) {
            int64_t result = -1;
            const std::string out = output_of(probes, probe, value, "f", &result);
            EXPECT_EQ(result, 0) << out;
            const std::string prefix = prefixes[static_cast<int>(probe)];
            const std::string suffix = as_written(has_filename(probe) ? " - filename = f\n" : "\n");
            ASSERT_GT(out.size(), prefix.size() + suffix.size()) << out;
            const std::string text = out.substr(prefix.size(), out.size() - prefix.size() - suffix.size());
            const double sent = is_single(probe) ? static_cast<double>(static_cast<float>(value)) : value;
            EXPECT_TRUE(oracle::acceptable(text, sent)) << "'" << text << "' for " << value;
        }
        OutputCapture capture;
        EXPECT_EQ(float32(static_cast<float>(value)), 0);
        EXPECT_EQ(double32(value), 0);
        EXPECT_EQ(float_filename32("f", static_cast<float>(value)), 0);
        EXPECT_EQ(double_filename32("f", value), 0);
    }
}

// The probes write through the runtime's one standard-output stream, so a
// host's own printf lines and the probes' lines stay in call order.
TEST(Output, SharesTheHostsStreamInCallOrder)
{
    const Probes probes;
    OutputCapture capture;
    std::printf("host 1\n");
    probes.double_(1.0);
    std::printf("host 2\n");
    probes.float_filename("a", 2.0f);
    probes.float_(3.0f);
    std::fputs("host 3\n", stdout);
    EXPECT_EQ(capture.take(), as_written("host 1\n"
                                           "call_double          => MyDoubleValue = 1.000000\n"
                                           "host 2\n"
                                           "call_float_filename  => MyFloatValue  = 2.000000 - filename = a\n"
                                           "call_float           => MyFloatValue  = 3.000000\n"
                                           "host 3\n"));
}

TEST(Lifetime, LoadingThreadsAndUnloadingWriteNothing)
{
    {
        OutputCapture capture;
        Library library = load();
        ASSERT_TRUE(library);
        library.close();
        EXPECT_EQ(capture.take(), "");
    }
    OutputCapture capture;
    Library library = load();
    ASSERT_TRUE(library);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) threads.emplace_back([] {});
    for (std::thread &thread : threads) thread.join();
    library.close();
    EXPECT_EQ(capture.take(), "");
}

TEST(Exports, ExactlyTheFourProbes)
{
    const Library library = load();
    const char *const names[] = {"call_double", "call_double_filename", "call_float", "call_float_filename"};
    for (const char *name : names) EXPECT_NE(library.function<void (*)()>(name), nullptr) << name;
    for (const char *name : {"DllMain", "printable", "call_int", "CALL_FLOAT", "_call_float", "call_float@4"})
        EXPECT_EQ(library.function<void (*)()>(name), nullptr) << name;
#if defined(_WIN32)
    for (unsigned ordinal = 1; ordinal <= 4; ++ordinal)
        EXPECT_EQ(library.function<void (*)()>(ordinal), library.function<void (*)()>(names[ordinal - 1]))
            << "ordinal " << ordinal;
    EXPECT_EQ(library.function<void (*)()>(5u), nullptr);
#endif
}

} // namespace
