// quellot-call --check --junit FILE: the findings as a JUnit XML report, one
// test case per group of the call list, for a CI to show.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "probes.h"

struct ReportedFinding {
    size_t call;      // index of the call, or SIZE_MAX for a finding of no call
    std::string text; // the finding as --check prints it
    bool accepted;    // accepted findings do not fail their test case
};

// Writes the report to `file`. A group is a run of calls headed by the same
// comment (the first line of the last block of "#" lines before them, read
// from the call list `list`); calls headed by none form a group named after
// the list. Findings of no call form a test case of their own. Refuses
// (exit 4) a file that cannot be written.
void write_junit(const std::string &file, const std::string &list, const std::vector<Call> &calls,
                 const std::vector<ReportedFinding> &findings);
