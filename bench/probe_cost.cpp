// What a probe call costs, against the printf it has to make anyway.
//
//   probe_cost probe PROBE N     N calls of PROBE from the library beside this program
//   probe_cost printf PROBE N    N of the same printf, made directly
//   probe_cost load LIBRARY N    N loads and unloads of LIBRARY
//   probe_cost timed N           times N calls of each probe and N of each
//                                direct printf, and prints the ratios on stderr
//
// The first three are run under an instruction counter (see run_bench.py);
// standard output, where the lines go, is best sent to a null device.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "library.h"
#include "loops.h"

namespace {

constexpr float float_value = 1234.5678f;
constexpr double double_value = 1234.5678;
constexpr const char *filename = "data.bin";
constexpr const char *names[] = {"call_float", "call_float_filename", "call_double", "call_double_filename"};

Library load(const std::string &path)
{
    std::string error;
    Library library = Library::open(path, error);
    if (!library) {
        std::fprintf(stderr, "probe_cost: cannot load %s: %s\n", path.c_str(), error.c_str());
        std::exit(3);
    }
    return library;
}

// Makes n calls of probe `which` (0..3), through the library or directly.
void run(const Library *library, int which, long n)
{
    switch (which) {
    case 0:
        if (library) probe_float_loop(library->function<probe_float>(names[0]), float_value, n);
        else printf_float_loop(float_value, n);
        break;
    case 1:
        if (library)
            probe_float_filename_loop(library->function<probe_float_filename>(names[1]), filename, float_value, n);
        else printf_float_filename_loop(filename, float_value, n);
        break;
    case 2:
        if (library) probe_double_loop(library->function<probe_double>(names[2]), double_value, n);
        else printf_double_loop(double_value, n);
        break;
    default:
        if (library)
            probe_double_filename_loop(library->function<probe_double_filename>(names[3]), filename, double_value, n);
        else printf_double_filename_loop(filename, double_value, n);
    }
}

int probe_index(std::string_view name)
{
    for (int i = 0; i < 4; ++i)
        if (name == names[i]) return i;
    std::fprintf(stderr, "probe_cost: unknown probe %.*s\n", static_cast<int>(name.size()), name.data());
    std::exit(2);
}

// Seconds since an arbitrary start, from the platform's finest clock.
double seconds()
{
#if defined(_WIN32)
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
#else
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
#endif
}

void timed(long n)
{
    const Library library = load(Library::beside_executable(QUELLOT_LIBRARY_FILE));
    std::fprintf(stderr, "%-22s %14s %14s %8s\n", "probe", "probe ns/call", "printf ns/call", "ratio");
    for (int which = 0; which < 4; ++which) {
        run(&library, which, n / 10); // warm up both paths
        run(nullptr, which, n / 10);
        double best_probe = 1e300, best_printf = 1e300;
        for (int round = 0; round < 5; ++round) {
            double start = seconds();
            run(&library, which, n);
            std::fflush(stdout);
            const double probe = seconds() - start;
            start = seconds();
            run(nullptr, which, n);
            std::fflush(stdout);
            const double direct = seconds() - start;
            best_probe = probe < best_probe ? probe : best_probe;
            best_printf = direct < best_printf ? direct : best_printf;
        }
        std::fprintf(stderr, "%-22s %14.1f %14.1f %8.3f\n", names[which], 1e9 * best_probe / static_cast<double>(n),
                     1e9 * best_printf / static_cast<double>(n), best_probe / best_printf);
    }
}

} // namespace

int main(int argc, char **argv)
{
    const std::string_view mode = argc > 1 ? argv[1] : "";
    const long n = std::atol(argv[argc - 1]);
    if (mode == "probe" && argc == 4) {
        const Library library = load(Library::beside_executable(QUELLOT_LIBRARY_FILE));
        run(&library, probe_index(argv[2]), n);
    } else if (mode == "printf" && argc == 4) {
        run(nullptr, probe_index(argv[2]), n);
    } else if (mode == "load" && argc == 4) {
        for (long i = 0; i < n; ++i) load(argv[2]).close();
    } else if (mode == "timed" && argc == 3) {
        timed(n);
    } else {
        std::fprintf(stderr, "usage: probe_cost probe|printf PROBE N | load LIBRARY N | timed N\n");
        return 2;
    }
    return 0;
}
