// How quellot-call --check lines an FFI's transcript up with the reports that
// the reference prints for a call list: which lines are each call's report,
// identical or not, which reports arrived elsewhere, which calls have none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Texts held end to end in one string, each found by its number: the
// expected reports, one a call, or the transcript's lines, each with its
// line end. A million calls take no more than their bytes and an offset each.
class Texts {
public:
    void add(std::string_view text)
    {
        text_ += text;
        ends_.push_back(text_.size());
    }
    // Splits `text` after every line feed; a last line without one is a text too.
    static Texts lines_of(std::string text);
    // `text` cut at `ends`, each the end of one text.
    Texts(std::string text, std::vector<size_t> ends) : text_(std::move(text)), ends_(std::move(ends)) {}
    Texts() = default;

    size_t size() const { return ends_.size(); }
    std::string_view operator[](size_t i) const { return span(i, 1); }
    // Texts first to first + count - 1, end to end.
    std::string_view span(size_t first, size_t count) const
    {
        const size_t from = first == 0 ? 0 : ends_[first - 1];
        return std::string_view(text_).substr(from, ends_[first + count - 1] - from);
    }
    const std::string &text() const { return text_; }

private:
    std::string text_;
    std::vector<size_t> ends_;
};

// The probe whose report `line` starts like (its name, padded, and "=> "),
// as an index into `probes`, or -1.
int probe_of_line(std::string_view line);

struct Alignment {
    static constexpr size_t none = SIZE_MAX;
    enum Kind : uint8_t {
        missing,   // no report found
        identical, // its report, in its place
        differs,   // a report of the same probe in its place, not identical
        wrong,     // a report of another probe in its place
        moved,     // its report, identical, arrived elsewhere
    };
    std::vector<Kind> kind;    // per call
    std::vector<size_t> first; // per call: its first transcript line, or none
    std::vector<size_t> count; // per call: how many lines its report took
    std::vector<bool> used;    // per transcript line: part of some call's report
};

// Lines the transcript up with the expected reports (one per call, `probe_of_call`
// the index of each call's probe), in time proportional to the lines and the
// calls times the differences, and memory proportional to the lines and calls.
//  - Identical reports in order first: where a report differs, is missing or
//    is extra, the walk looks for the nearest place where the reports agree
//    again, preferring a run of agreeing reports; among places equally near,
//    each line goes to the earliest call it fits. A transcript cut short is
//    thus its calls in order and then the calls after the cut missing.
//  - A line left over that is identical to a call's report left over is that
//    report, moved.
//  - Between two places that agree, the calls left and the report lines left
//    are paired in order, preferring reports of the call's own probe; a
//    report's following lines that start like no report are its own (a file
//    name's line feeds), up to as many as the call's report has.
Alignment align(const Texts &expected, const std::vector<int8_t> &probe_of_call, const Texts &lines);
