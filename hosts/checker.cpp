#include "checker.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "call_list.h"
#include "capture.h"
#include "diagnoses.h"
#include "failure.h"
#include "library.h"
#include "probes.h"
#include "quellot.h"
#include "system_text.h"
#include "values.h"

namespace {

// The whole transcript, from a file or standard input; a transcript that
// cannot be read whole is refused (exit 2) with the reason.
std::string read_transcript(const std::string &file)
{
    const bool standard_input = file == "-";
#if defined(_WIN32)
    if (standard_input) _setmode(_fileno(stdin), _O_BINARY);
#endif
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> opened(
        standard_input ? nullptr : open_for_reading(file), &std::fclose);
    std::FILE *in = standard_input ? stdin : opened.get();
    const std::string name = standard_input ? "standard input" : "'" + file + "'";
    if (in == nullptr) throw usage("cannot read transcript " + name + ": " + std::strerror(errno));
    std::string text;
    char buffer[1 << 16];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) text.append(buffer, n);
    if (std::ferror(in)) throw usage("cannot read transcript " + name + ": " + std::strerror(errno));
    return text;
}

// Bytes in quotes, every one visible, written as in a call list.
std::string shown(std::string_view bytes)
{
    return "\"" + escape_filename(bytes) + "\"";
}

// The first columns of every report of a probe: its name, padded, and "=> ".
std::string_view probe_prefix(std::string_view line)
{
    constexpr size_t arrow = 21; // the column of "=> "
    for (const Probe &probe : probes) {
        const std::string_view name = probe.name;
        if (line.starts_with(name) && line.find_first_not_of(' ', name.size()) == arrow &&
            line.substr(arrow, 3) == "=> ")
            return line.substr(0, arrow + 3);
    }
    return {};
}

// Whether a transcript's reports show bit patterns (the exact library) rather
// than "%f" values: most of its value fields are 0x and 8 or 16 hex digits.
bool shows_bits(std::string_view transcript)
{
    size_t reports = 0, patterns = 0;
    for (size_t at = 0; at < transcript.size();) {
        const size_t end = std::min(transcript.find('\n', at), transcript.size());
        const std::string_view line = transcript.substr(at, end - at);
        at = end + 1;
        if (probe_prefix(line).empty() || line.size() < 42) continue;
        ++reports;
        const std::string_view value = line.substr(40, line.find_first_of(" \r", 40) - 40);
        patterns += (value.size() == 10 || value.size() == 18) && value.starts_with("0x") &&
                    value.find_first_not_of("0123456789abcdef", 2) == std::string_view::npos;
    }
    return reports > 0 && 2 * patterns > reports;
}

std::vector<std::string> lines_of(std::string_view text)
{
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        const size_t next = end == std::string_view::npos ? text.size() : end + 1;
        lines.emplace_back(text.substr(at, next - at));
        at = next;
    }
    return lines;
}

// The reference library, its probes resolved once, and what they print.
class Reference {
public:
    explicit Reference(const std::string &path) : library_(open(path))
    {
        float_ = resolve<FloatProbe>(path, "call_float");
        float_filename_ = resolve<FloatFilenameProbe>(path, "call_float_filename");
        double_ = resolve<DoubleProbe>(path, "call_double");
        double_filename_ = resolve<DoubleFilenameProbe>(path, "call_double_filename");
    }

    std::string print(const Call &call, const Attempt &attempt)
    {
        const auto key = std::make_tuple(call.probe->name, attempt.bits, attempt.filename, attempt.null_name);
        const auto cached = cache_.find(key);
        if (cached != cache_.end()) return cached->second;
        const char *name = attempt.null_name ? nullptr : attempt.filename.c_str();
        const std::string_view probe = call.probe->name;
        if (probe == "call_float") float_(float_value(attempt.bits));
        if (probe == "call_float_filename") float_filename_(name, float_value(attempt.bits));
        if (probe == "call_double") double_(double_value(attempt.bits));
        if (probe == "call_double_filename") double_filename_(name, double_value(attempt.bits));
        return cache_[key] = capture_.take();
    }

private:
    static Library open(const std::string &path)
    {
        std::string error;
        Library library = Library::open(path, error);
        if (!library) throw Failure{exit_load, "cannot load library '" + path + "': " + error};
        return library;
    }

    template <typename F>
    F resolve(const std::string &path, const char *name) const
    {
        const F function = library_.function<F>(name);
        if (function == nullptr)
            throw Failure{exit_load, "library '" + path + "' has no export '" + name + "': " + Library::last_error()};
        return function;
    }

    Library library_;
    FloatProbe float_ = nullptr;
    FloatFilenameProbe float_filename_ = nullptr;
    DoubleProbe double_ = nullptr;
    DoubleFilenameProbe double_filename_ = nullptr;
    OutputCapture capture_;
    std::map<std::tuple<std::string_view, uint64_t, std::string, bool>, std::string> cache_;
};

// How each call's expected report lines up with the transcript's lines.
struct Alignment {
    static constexpr size_t none = SIZE_MAX;
    std::vector<std::vector<size_t>> taken; // per call: the transcript lines of its report; none: missing
    std::vector<bool> identical;            // per call
    std::vector<bool> used;                 // per transcript line: part of some call's report
};

// The most table cells the alignment may take (512 MB).
constexpr size_t max_cells = size_t{1} << 25;

// Lines the transcript up with the expected reports in order. What counts
// first is the shape: every report paired with a call of its probe, the
// fewest calls without a report and lines without a call; among the
// alignments of the best shape, the one with the most identical reports wins.
// So values that arrived one call out of step stay paired with their calls
// instead of being matched to the neighbour they print like. A line that
// neither starts like a report nor continues one (a file name's second line)
// belongs to no call and is left out of the table.
Alignment align(const std::vector<std::string> &expected, const std::vector<std::string> &all_lines)
{
    const size_t n = expected.size();
    std::vector<std::vector<std::string>> wanted(n);
    std::set<std::string_view> continuations;
    for (size_t i = 0; i < n; ++i) {
        wanted[i] = lines_of(expected[i]);
        for (size_t t = 1; t < wanted[i].size(); ++t) continuations.insert(wanted[i][t]);
    }
    std::vector<size_t> kept;
    for (size_t line = 0; line < all_lines.size(); ++line)
        if (!probe_prefix(all_lines[line]).empty() || continuations.count(all_lines[line]) > 0) kept.push_back(line);
    const size_t m = kept.size();
    if ((n + 1) * (m + 1) > max_cells)
        throw usage("the transcript holds " + std::to_string(m) + " report lines for " + std::to_string(n) +
                    " calls: too many to line up");
    const uint64_t skip = n + m + 1; // outweighs every count of differing reports
    const auto line = [&](size_t j) -> const std::string & { return all_lines[kept[j]]; };
    // Each line's and each call's report start, found once: the table below
    // compares them in every cell.
    std::vector<std::string_view> start(m), wanted_start(n);
    for (size_t j = 0; j < m; ++j) start[j] = probe_prefix(line(j));
    for (size_t i = 0; i < n; ++i) wanted_start[i] = wanted[i].empty() ? "" : probe_prefix(wanted[i][0]);

    enum Step : uint8_t { match, differ, skip_call, skip_line };
    struct Cell {
        uint64_t cost = UINT64_MAX;
        Step step = match;
        uint8_t took = 0;
    };
    std::vector<std::vector<Cell>> table(n + 1, std::vector<Cell>(m + 1));
    table[0][0].cost = 0;
    const auto relax = [&](size_t i, size_t j, uint64_t cost, Step step, size_t took) {
        if (cost < table[i][j].cost) table[i][j] = {cost, step, static_cast<uint8_t>(took)};
    };
    for (size_t i = 0; i <= n; ++i) {
        for (size_t j = 0; j <= m; ++j) {
            const uint64_t here = table[i][j].cost;
            if (here == UINT64_MAX) continue;
            if (j < m) relax(i, j + 1, here + skip, skip_line, 1);
            if (i == n) continue;
            relax(i + 1, j, here + skip, skip_call, 0);
            const size_t k = std::min<size_t>(wanted[i].size(), UINT8_MAX);
            bool same = j + k <= m;
            for (size_t t = 0; same && t < k; ++t) same = line(j + t) == wanted[i][t];
            if (same) relax(i + 1, j + k, here, match, k);
            if (j < m && k > 0 && !start[j].empty() && start[j] == wanted_start[i]) {
                for (size_t t = 1; t <= k && j + t <= m; ++t) {
                    if (t > 1 && !start[j + t - 1].empty()) break;
                    relax(i + 1, j + t, here + 1, differ, t);
                }
            }
        }
    }
    Alignment alignment{std::vector<std::vector<size_t>>(n), std::vector<bool>(n, false),
                        std::vector<bool>(all_lines.size(), false)};
    for (size_t i = n, j = m; i > 0 || j > 0;) {
        const Cell cell = table[i][j];
        if (cell.step == skip_line) {
            --j;
            continue;
        }
        --i;
        if (cell.step == skip_call) continue;
        j -= cell.took;
        alignment.identical[i] = cell.step == match;
        for (size_t t = 0; t < cell.took; ++t) {
            alignment.taken[i].push_back(kept[j + t]);
            alignment.used[kept[j + t]] = true;
        }
    }
    return alignment;
}

struct Finding {
    size_t call = Alignment::none; // the call, or none for a line of no call
    size_t line = Alignment::none; // its first transcript line, or none
    std::string received;
    std::vector<std::string> ids;  // every confirmed diagnosis, most specific first
    std::string note;
};

std::string join(const std::vector<std::string> &ids)
{
    std::string out;
    for (const std::string &id : ids) out += (out.empty() ? "" : ", ") + id;
    return out;
}

// Line ends that are not the runtime's are one finding; the transcript is
// then turned into the runtime's, so that its reports compare as if written
// by it. A transcript with both kinds is left as it is.
void mend_line_ends(std::string &transcript, bool runtime_crlf, std::vector<Finding> &findings)
{
    size_t feeds = 0, crlfs = 0;
    for (size_t at = 0; (at = transcript.find('\n', at)) != std::string::npos; ++at, ++feeds)
        crlfs += at > 0 && transcript[at - 1] == '\r';
    const bool transcript_crlf = feeds > 0 && crlfs == feeds;
    if (feeds == 0 || (crlfs > 0 && !transcript_crlf) || transcript_crlf == runtime_crlf) return;
    std::string converted;
    for (const char c : transcript) {
        if (c == '\n' && runtime_crlf) converted += '\r';
        if (c == '\n' && !runtime_crlf && !converted.empty() && converted.back() == '\r') converted.pop_back();
        converted += c;
    }
    transcript = converted;
    findings.push_back({Alignment::none, Alignment::none, "", {"line-ends"},
                        std::string("the transcript's lines end in ") + (transcript_crlf ? "CR LF" : "LF") +
                            ", this C runtime writes " + (runtime_crlf ? "CR LF" : "LF")});
}

// The findings of each call whose report differs, is missing or arrived
// elsewhere, and of each line of no call. A last line without its line end
// is a report the process did not finish writing: it is set aside and
// matched to a missing call.
void compare(const std::vector<Call> &calls, const std::vector<std::string> &expected, const std::string &transcript,
             bool exact, const Printer &print, std::vector<Finding> &findings)
{
    std::vector<std::string> lines = lines_of(transcript);
    std::string cut;
    if (!lines.empty() && !lines.back().ends_with("\n")) {
        cut = lines.back();
        lines.pop_back();
    }
    const Alignment alignment = align(expected, lines);
    const auto received_of = [&](size_t i) {
        std::string text;
        for (const size_t line : alignment.taken[i]) text += lines[line];
        return text;
    };
    const auto present = [&](size_t i) { return !alignment.taken[i].empty(); };

    std::vector<size_t> missing;
    std::vector<size_t> stray; // transcript lines of no call
    for (size_t line = 0; line < lines.size(); ++line)
        if (!alignment.used[line]) stray.push_back(line);
    for (size_t i = 0; i < calls.size(); ++i) {
        if (!present(i)) missing.push_back(i);
        if (!present(i) || alignment.identical[i]) continue;
        const std::string received = received_of(i);
        Finding finding{i, alignment.taken[i].front(), received, {}, ""};
        // Swapped with a neighbour's report.
        for (const size_t j : {i - 1, i + 1})
            if (j < calls.size() && received == expected[j] && !alignment.identical[j] && present(j) &&
                received_of(j) == expected[i])
                finding.ids = {"order"};
        for (const std::string &id : explain(calls, i, received, exact, print)) finding.ids.push_back(id);
        // A report that shares neither its value nor its file name with
        // the call's own, and that nothing explains, is of no call.
        const ReportFields got = fields_of(received), wanted = fields_of(expected[i]);
        if (finding.ids.empty() && wanted.has_filename && got.value != wanted.value &&
            got.filename != wanted.filename) {
            missing.push_back(i);
            for (const size_t line : alignment.taken[i]) stray.push_back(line);
            continue;
        }
        if (finding.ids.empty()) finding.ids = {"unexplained"};
        findings.push_back(finding);
    }
    std::sort(missing.begin(), missing.end());
    std::sort(stray.begin(), stray.end());
    // A report that arrived elsewhere while its call has none.
    for (const size_t line : stray) {
        const auto found = std::find_if(missing.begin(), missing.end(),
                                        [&](size_t i) { return expected[i] == lines[line]; });
        if (found != missing.end()) {
            findings.push_back({*found, line, lines[line], {"order"}, ""});
            missing.erase(found);
        } else {
            findings.push_back({Alignment::none, line, lines[line], {"extra"}, ""});
        }
    }
    size_t last_present = 0;
    for (size_t i = 0; i < calls.size(); ++i)
        if (present(i) && std::find(missing.begin(), missing.end(), i) == missing.end()) last_present = i + 1;
    if (!cut.empty()) {
        const auto found = std::find_if(missing.begin(), missing.end(),
                                        [&](size_t i) { return i >= last_present && expected[i].starts_with(cut); });
        if (found != missing.end()) {
            findings.push_back({*found, lines.size(), cut, {"missing"}, "the report was cut off"});
            last_present = *found + 1;
            missing.erase(found);
        } else {
            findings.push_back({Alignment::none, lines.size(), cut, {"extra"}, ""});
        }
    }
    const bool all_at_end = !missing.empty() && missing.front() >= last_present;
    for (const size_t i : missing)
        findings.push_back({i, Alignment::none, "", {"missing"},
                            all_at_end && i == missing.front()
                                ? "every missing report is at the end: the C runtime's standard output was "
                                  "probably not flushed before the process ended"
                                : ""});
}

// Where several diagnoses explain a difference, the one that explains the
// most differences of the whole transcript is named first. Returns how many
// findings each named diagnosis has.
std::map<std::string, size_t> name_likeliest(std::vector<Finding> &findings)
{
    std::map<std::string, size_t> counts;
    for (const Finding &finding : findings)
        for (const std::string &id : finding.ids) ++counts[id];
    for (Finding &finding : findings) {
        std::string best = finding.ids.front();
        for (const std::string &id : finding.ids)
            if (counts[id] > counts[best]) best = id;
        finding.ids.insert(finding.ids.begin(), best);
        finding.ids.erase(std::remove(finding.ids.begin() + 1, finding.ids.end(), best), finding.ids.end());
    }
    counts.clear();
    for (const Finding &finding : findings) ++counts[finding.ids.front()];
    return counts;
}

// How many file-name probes' values went astray while the one-argument
// probes of the same width are right: the value after a pointer did not
// reach its slot.
size_t after_pointer(const std::vector<Call> &calls, const std::vector<Finding> &findings)
{
    size_t count = 0;
    for (const bool single : {true, false}) {
        size_t plain_wrong = 0, plain_right = 0, named_wrong = 0;
        std::vector<bool> differs(calls.size(), false);
        for (const Finding &finding : findings) {
            if (finding.call == Alignment::none) continue;
            differs[finding.call] = true;
            const std::string &id = finding.ids.front();
            const Probe &probe = *calls[finding.call].probe;
            if (probe.single != single || id.starts_with("name-") || id == "missing" || id == "order") continue;
            (probe.filename ? named_wrong : plain_wrong) += 1;
        }
        for (size_t i = 0; i < calls.size(); ++i)
            plain_right += calls[i].probe->single == single && !calls[i].probe->filename && !differs[i];
        if (named_wrong > 0 && plain_wrong == 0 && plain_right > 0) count += named_wrong;
    }
    return count;
}

// One block per finding, in call order: where, the call, what was expected
// and received, and the diagnosis. A transcript of something else entirely
// would bury the rest under its lines of no call: the first ones are shown,
// the others counted.
void print_findings(const std::vector<Finding> &findings, const std::vector<Call> &calls,
                    const std::vector<std::string> &expected, const std::string &calls_name,
                    const std::string &transcript_name)
{
    constexpr size_t extras_shown = 100;
    size_t extras = 0;
    for (const Finding &finding : findings) {
        if (finding.ids.front() == "extra" && ++extras > extras_shown) continue;
        std::printf("\n");
        const std::string where_line =
            finding.line == Alignment::none ? "no report" : transcript_name + ":" + std::to_string(finding.line + 1);
        if (finding.call != Alignment::none) {
            const Call &call = calls[finding.call];
            std::printf("%s:%zu, %s\n", calls_name.c_str(), call.line, where_line.c_str());
            const bool single = call.probe->single;
            std::printf("  call:      %s 0x%0*llx = %s", call.probe->name, single ? 8 : 16,
                        static_cast<unsigned long long>(call.bits), exact_decimal(call.bits, single).c_str());
            if (call.probe->filename) std::printf(", filename %s", shown(call.filename).c_str());
            std::printf("\n  expected:  %s\n", shown(expected[finding.call]).c_str());
        } else if (finding.line != Alignment::none) {
            std::printf("%s: a line of no call\n", where_line.c_str());
        } else {
            std::printf("%s\n", transcript_name.c_str());
        }
        if (finding.line != Alignment::none) std::printf("  received:  %s\n", shown(finding.received).c_str());
        const std::string &id = finding.ids.front();
        std::printf("  diagnosis: %s: %s\n", id.c_str(), explanation(id).c_str());
        if (!finding.note.empty()) std::printf("             %s\n", finding.note.c_str());
        if (finding.ids.size() > 1)
            std::printf("             (also explained by: %s)\n",
                        join(std::vector<std::string>(finding.ids.begin() + 1, finding.ids.end())).c_str());
    }
    if (extras > extras_shown) std::printf("\n... and %zu more lines of no call\n", extras - extras_shown);
}

} // namespace

int check(const CheckRequest &request)
{
    const CallList list = CallList::read(request.calls);
    std::vector<Call> calls;
    for (const Call &call : list) calls.push_back(call);
    std::string transcript = read_transcript(request.transcript);
    const bool exact = shows_bits(transcript);
    const std::string path =
        !request.library.empty() ? request.library : exact ? request.exact_library : request.main_library;

    std::vector<std::string> expected;
    std::vector<Finding> findings;
    {
        Reference reference(path);
        const Printer print = [&](const Call &call, const Attempt &attempt) { return reference.print(call, attempt); };
        for (const Call &call : calls) expected.push_back(print(call, {call.bits, call.filename}));
        mend_line_ends(transcript, !expected.empty() && expected.front().ends_with("\r\n"), findings);
        compare(calls, expected, transcript, exact, print, findings);
    }
    const std::map<std::string, size_t> counts = name_likeliest(findings);
    const size_t astray = after_pointer(calls, findings);

    std::sort(findings.begin(), findings.end(), [](const Finding &a, const Finding &b) {
        return std::tie(a.call, a.line) < std::tie(b.call, b.line);
    });
    const std::string &transcript_name = request.transcript == "-" ? std::string("(standard input)") : request.transcript;
    std::printf("Checking %s against the %zu calls of %s,\nwith the reference made by the %s library %s%s.\n",
                transcript_name.c_str(), calls.size(), request.calls.c_str(), exact ? "exact" : "main", path.c_str(),
                request.library.empty() ? exact ? " (the transcript shows bit patterns)"
                                                : " (the transcript shows \"%f\" values)"
                                        : "");
    print_findings(findings, calls, expected, request.calls, transcript_name);

    size_t identical = calls.size();
    for (const Finding &finding : findings)
        if (finding.call != Alignment::none) --identical;
    std::vector<std::pair<std::string, size_t>> summary(counts.begin(), counts.end());
    if (astray > 0) summary.emplace_back("after-pointer", astray);
    std::stable_sort(summary.begin(), summary.end(), [](const auto &a, const auto &b) { return a.second > b.second; });
    std::printf("\nSummary: %zu of %zu calls identical\n", identical, calls.size());
    for (const auto &[id, count] : summary) std::printf("  %5zu  %-16s %s\n", count, id.c_str(), explanation(id).c_str());
    return findings.empty() ? 0 : 1;
}
