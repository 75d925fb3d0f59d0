// A call list, such as conformance/calls.txt: one call a line,
// PROBE <tab> BITS [<tab> FILENAME], read and checked whole before any call.
// Lines end at "\n"; one "\r" ending a line is dropped before anything else
// is judged. A blank line (empty, or only spaces and tabs: no other byte is a
// blank) and a line whose first byte is "#" are comments. BITS and a
// FILENAME's \xHH take hexadecimal digits of either case.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "probes.h"

// The calls of a list, in order, held compactly: a record of the probe, the
// line number, the bits and the decoded file name takes no more room than
// the line it comes from, so the records are written over the list's own
// text as it is read, and a list takes no more memory than its size.
class CallList {
public:
    // Reads and checks every line of `file`. Refuses (exit 2) a list that
    // cannot be read whole or holds a malformed line, naming the file and
    // the line.
    static CallList read(const std::string &file);

    // The calls in order, each decoded from its record as it is reached.
    class Iterator {
    public:
        Iterator(const char *record, const char *end);
        const Call &operator*() const { return call_; }
        Iterator &operator++();
        bool operator==(const Iterator &other) const { return record_ == other.record_; }

    private:
        void decode();

        const char *record_;
        const char *end_;
        const char *next_ = nullptr;
        Call call_;
    };

    Iterator begin() const { return Iterator(text_.get(), end_); }
    Iterator end() const { return Iterator(end_, end_); }
    size_t size() const { return size_; }

private:
    std::unique_ptr<char[]> text_; // the list's text, the records written over it
    const char *end_ = nullptr;     // the end of the records
    size_t size_ = 0;               // how many calls
};

// `name` written as a FILENAME field: printable ASCII as it is, a backslash,
// tab, line feed or carriage return as \\ \t \n \r, any other byte as \xHH.
std::string escape_filename(std::string_view name);
// The same, appended to `field`, which is returned.
std::string &escape_filename(std::string_view name, std::string &field);
