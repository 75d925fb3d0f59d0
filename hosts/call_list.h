// A call list, such as conformance/calls.txt: one call a line,
// PROBE <tab> BITS [<tab> FILENAME], read and checked whole before any call.
// A blank line (empty, or only blanks and tabs) and a line whose first byte
// is "#" are comments; one "\r" ending a line is dropped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "probes.h"

// Every call of the list in `file`, in order. Refuses (exit 2) a list that
// cannot be read or holds a malformed line, naming the file and the line.
std::vector<Call> read_call_list(const std::string &file);

// `name` written as a FILENAME field: printable ASCII as it is, a backslash,
// tab, line feed or carriage return as \\ \t \n \r, any other byte as \xHH.
std::string escape_filename(std::string_view name);
