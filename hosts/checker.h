// quellot-call --check: compares an FFI's transcript of a call list with the
// reports that the reference library prints for the same calls, and names
// the fault behind each difference.
#pragma once

#include <string>

struct CheckRequest {
    std::string calls;      // the call list
    std::string transcript; // the FFI's transcript, "-" for standard input
    std::string library;    // the library to make the reference with, or empty
    std::string main_library;  // the default when the transcript shows "%f" values
    std::string exact_library; // the default when it shows bit patterns
};

// Prints the findings on standard output; returns 0 when every call's report
// is identical, 1 when any differs. Refuses a malformed call list (exit 2)
// and a library that cannot be loaded (exit 3) before printing anything.
int check(const CheckRequest &request);
