// quellot-call --check: compares an FFI's transcript of a call list with the
// reports that the reference library prints for the same calls, and names
// the fault behind each difference.
#pragma once

#include <set>
#include <string>

struct CheckRequest {
    std::string calls;      // the call list
    std::string transcript; // the FFI's transcript, "-" for standard input
    std::string library;    // the library to make the reference with, or empty
    std::string main_library;  // the default when the transcript shows "%f" values
    std::string exact_library; // the default when it shows bit patterns, or with --exact
    bool exact = false;        // --exact: the exact library whatever the transcript shows
    std::set<std::string> accepted; // diagnosis ids that are known limitations
    std::string junit;              // a file for a JUnit report, or empty
};

// Prints the findings on standard output; returns 0 when every call's report
// is identical or differs only in accepted ways, 1 otherwise (and when a
// probe of the reference returned non-zero). Refuses a malformed call list
// (exit 2), a library that cannot be loaded (exit 3) and a reference that
// cannot be captured (exit 4) before printing anything.
int check(const CheckRequest &request);
