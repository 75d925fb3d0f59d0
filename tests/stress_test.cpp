// The probes under many threads, hostile input and failing output.
#include <cfloat>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "loaded_probes.h"

namespace {

constexpr int thread_count = 16;
constexpr int calls_per_thread = 5000;

// Call `call` of thread `thread`: the probe, the value and the file name
// name both, so that every line says which call printed it. The values are
// exact in single precision and print without rounding.
Probe probe_of(int call) { return static_cast<Probe>(call % 4); }
double value_of(int thread, int call) { return thread * 10000 + call + 0.25; }
std::string filename_of(int thread, int call)
{
    return "thread-" + std::to_string(thread) + "-call-" + std::to_string(call);
}
std::string line_of(int thread, int call)
{
    const Probe probe = probe_of(call);
    return prefixes[static_cast<int>(probe)] + std::to_string(thread * 10000 + call) + ".250000" +
           (has_filename(probe) ? " - filename = " + filename_of(thread, call) : "");
}

TEST(Concurrency, EveryLineWholeOnceAndInItsThreadsOrder)
{
    const Probes probes;
    OutputCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t)
        threads.emplace_back([&probes, t] {
            for (int c = 0; c < calls_per_thread; ++c)
                call(probes, probe_of(c), value_of(t, c), filename_of(t, c).c_str());
        });
    for (std::thread &thread : threads) thread.join();
    const std::string out = capture.finish();

    std::map<std::string, std::pair<int, int>> expected;
    for (int t = 0; t < thread_count; ++t)
        for (int c = 0; c < calls_per_thread; ++c) expected.emplace(line_of(t, c), std::pair(t, c));
    std::vector<int> next(thread_count, 0);
    const std::string newline = as_written("\n");
    size_t lines = 0;
    for (size_t at = 0; at < out.size(); ++lines) {
        const size_t end = out.find(newline, at);
        ASSERT_NE(end, std::string::npos) << "unterminated last line";
        const auto found = expected.find(out.substr(at, end - at));
        ASSERT_NE(found, expected.end()) << "torn or foreign line: " << out.substr(at, end - at);
        const auto [t, c] = found->second;
        ASSERT_EQ(c, next[t]) << "thread " << t << " out of order, lost or doubled";
        ++next[t];
        at = end + newline.size();
    }
    EXPECT_EQ(lines, static_cast<size_t>(thread_count * calls_per_thread));
}

TEST(HostileInput, HugeAndEveryByteFileNamesPrintWhole)
{
    const Probes probes;
    std::string huge;
    for (size_t i = 0; huge.size() < (1u << 20); ++i) huge += "%s%n%x%% " + std::to_string(i) + " ";
    huge.resize(1u << 20);
    std::string every_byte;
    for (int byte = 1; byte <= 255; ++byte) every_byte += static_cast<char>(byte);
    for (const std::string &name : {huge, every_byte}) {
        int64_t result = -1;
        EXPECT_EQ(output_of(probes, Probe::double_filename, 1.0, name.c_str(), &result),
                  as_written(std::string(prefixes[3]) + "1.000000 - filename = " + name + "\n"));
        EXPECT_EQ(output_of(probes, Probe::float_filename, 1.0, name.c_str()),
                  as_written(std::string(prefixes[1]) + "1.000000 - filename = " + name + "\n"));
        EXPECT_EQ(result, 0);
    }
}

TEST(FailingOutput, ProbesReturnZeroAndTheHostLivesOn)
{
    const Probes probes;
    {
        FailingStdout failing;
        for (int i = 0; i < 10000; ++i) {
            ASSERT_EQ(call(probes, probe_of(i), 1.5, "lost"), 0);
            ASSERT_EQ(call(probes, probe_of(i), std::numeric_limits<double>::quiet_NaN(), nullptr), 0);
        }
    }
    // Output works again once the stream is back.
    EXPECT_EQ(output_of(probes, Probe::double_, 2.5, nullptr), as_written(std::string(prefixes[2]) + "2.500000\n"));
}

} // namespace
