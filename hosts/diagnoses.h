// What went wrong with one call: each diagnosis computes the value or file
// name that its fault would have delivered, and counts only when making that
// call prints exactly the received report.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "probes.h"

// One call as a fault may have made it: the probe and the value's bits of
// `call`, another value or another file name, or a null name.
struct Attempt {
    uint64_t bits;
    std::string filename;
    bool null_name = false;
};

// What the probe of `call` prints for an attempt, through the reference library.
using Printer = std::function<std::string(const Call &call, const Attempt &attempt)>;

// The ids of every diagnosis that explains `received` as the report of
// calls[index], most specific first; empty when none does. `exact` tells
// whether the reports show bit patterns. `shifted_from` receives the calls
// whose value, arriving instead, would explain it (for `shifted`).
std::vector<std::string> explain(const std::vector<Call> &calls, size_t index, const std::string &received,
                                 bool exact, const Printer &print, std::vector<size_t> &shifted_from);

// Every diagnosis id that a finding can carry, for --accept to check.
bool known_diagnosis(const std::string &id);

// The value field and the file name of a report, as the probe was handed
// them (a line end that the runtime wrote as CR LF is LF again).
struct ReportFields {
    std::string value;
    std::string filename;
    bool has_filename = false;
};
ReportFields fields_of(std::string report);

// A diagnosis id in words a user understands, in one line.
std::string explanation(const std::string &id);

// Where the value after a pointer arrives on this platform.
const char *slot_after_pointer();
