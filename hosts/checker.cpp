#include "checker.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <tuple>
#include <unordered_map>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "alignment.h"
#include "call_list.h"
#include "capture.h"
#include "diagnoses.h"
#include "failure.h"
#include "junit.h"
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
    // A file is read straight into room for its size and a byte more (to
    // meet its end without growing); standard input into room that doubles.
    std::error_code unknown;
    const auto known = standard_input ? 0 : std::filesystem::file_size(system_path(file), unknown);
    std::string text(unknown || known == 0 ? size_t{1} << 16 : static_cast<size_t>(known) + 1, '\0');
    size_t have = 0;
    for (size_t n; (n = std::fread(text.data() + have, 1, text.size() - have, in)) > 0;)
        if ((have += n) == text.size()) text.resize(2 * text.size());
    if (std::ferror(in)) throw usage("cannot read transcript " + name + ": " + std::strerror(errno));
    text.resize(have);
    return text;
}

// Whether reports show bit patterns (the exact library) rather than "%f"
// values: most value fields of the first few thousand are 0x and 8 or 16
// hex digits.
bool shows_bits(std::string_view text)
{
    size_t reports = 0, patterns = 0;
    for (size_t at = 0; at < text.size() && reports < 4096;) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (probe_of_line(line) < 0 || line.size() < 42) continue;
        ++reports;
        const std::string_view value = line.substr(40, line.find_first_of(" \r", 40) - 40);
        patterns += (value.size() == 10 || value.size() == 18) && value.starts_with("0x") &&
                    value.find_first_not_of("0123456789abcdef", 2) == std::string_view::npos;
    }
    return reports > 0 && 2 * patterns > reports;
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

    // What one attempt prints; the diagnoses try the same attempts often.
    std::string print(const Call &call, const Attempt &attempt)
    {
        const auto cached = cache_.find(key(call, attempt));
        if (cached != cache_.end()) return cached->second;
        if (cache_.size() >= (size_t{1} << 16)) cache_.clear();
        make(call, attempt);
        return cache_[key(call, attempt)] = capture_.take();
    }

    // The report of every call, end to end. The calls are made, the output
    // read back once and cut where each report has its line ends (one, and
    // one for each line feed in the name); a library that prints otherwise
    // has its calls made again, each read back on its own.
    Texts print_all(const std::vector<Call> &calls)
    {
        size_t feeds = 0;
        for (const Call &call : calls) {
            feeds += 1 + (call.probe->filename ? std::count(call.filename, call.filename + std::strlen(call.filename), '\n') : 0);
            note_result(call, make(call, {call.bits, call.filename}));
        }
        std::string text = capture_.take();
        if (static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) == feeds && text.ends_with('\n')) {
            std::vector<size_t> ends;
            ends.reserve(calls.size());
            size_t at = 0;
            for (const Call &call : calls) {
                const size_t wanted = 1 + (call.probe->filename ? std::count(call.filename, call.filename + std::strlen(call.filename), '\n') : 0);
                for (size_t k = 0; k < wanted; ++k) at = text.find('\n', at) + 1;
                ends.push_back(at);
            }
            return Texts(std::move(text), std::move(ends));
        }
        text = std::string();
        Texts reports;
        for (const Call &call : calls) {
            make(call, {call.bits, call.filename});
            reports.add(capture_.take());
        }
        return reports;
    }

    // Makes every attempt not yet made, reads their reports back at once
    // and keeps them for print(): the diagnoses of many findings cost a
    // read of the output instead of one each.
    void prefetch(const std::vector<std::pair<Call, Attempt>> &attempts)
    {
        constexpr size_t most = size_t{1} << 13;
        if (cache_.size() + attempts.size() > most) cache_.clear();
        std::vector<std::pair<std::string *, size_t>> made; // each report's room, and its lines
        size_t feeds = 0;
        for (const auto &[call, attempt] : attempts) {
            const auto [at, added] = cache_.emplace(key(call, attempt), std::string());
            if (!added) continue;
            make(call, attempt);
            const size_t wanted = 1 + (call.probe->filename && !attempt.null_name
                                           ? std::count(attempt.filename.begin(), attempt.filename.end(), '\n')
                                           : 0);
            made.emplace_back(&at->second, wanted);
            feeds += wanted;
        }
        const std::string text = capture_.take();
        if (static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) == feeds && text.ends_with('\n')) {
            size_t from = 0;
            for (auto &[room, wanted] : made) {
                size_t end = from;
                for (size_t k = 0; k < wanted; ++k) end = text.find('\n', end) + 1;
                *room = text.substr(from, end - from);
                from = end;
            }
            return;
        }
        // Each is made again when print() asks for it.
        cache_.clear();
    }

    size_t nonzero = 0; // calls whose probe returned non-zero
    Call first_nonzero;
    int64_t first_result = 0;

private:
    using Key = std::tuple<std::string_view, uint64_t, std::string, bool>;
    struct KeyHash {
        size_t operator()(const Key &key) const
        {
            const auto &[probe, bits, filename, null_name] = key;
            return std::hash<std::string_view>{}(probe) ^ std::hash<uint64_t>{}(bits) * 31 ^
                   std::hash<std::string>{}(filename) * 961 ^ static_cast<size_t>(null_name);
        }
    };

    static Key key(const Call &call, const Attempt &attempt)
    {
        return std::make_tuple(call.probe->name, attempt.bits, attempt.filename, attempt.null_name);
    }

    int64_t make(const Call &call, const Attempt &attempt)
    {
        const char *name = attempt.null_name ? nullptr : attempt.filename.c_str();
        switch (call.probe->ordinal) {
        case 1: return double_(double_value(attempt.bits));
        case 2: return double_filename_(name, double_value(attempt.bits));
        case 3: return float_(float_value(attempt.bits));
        default: return float_filename_(name, float_value(attempt.bits));
        }
    }

    void note_result(const Call &call, int64_t result)
    {
        if (result == 0 || nonzero++ > 0) return;
        first_nonzero = call;
        first_result = result;
    }

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
    std::unordered_map<Key, std::string, KeyHash> cache_;
};

struct Finding {
    size_t call = Alignment::none; // the call, or none for a line of no call
    size_t line = Alignment::none; // its first transcript line, or none
    std::string received;
    std::vector<std::string> ids;  // every confirmed diagnosis, most specific first
    std::string note;
    bool accepted = false;
    std::string also_needed{}; // its ids not accepted, where others are
    bool as_expected = false; // received is the call's expected report, not held
};

// The calls without a report, kept apart from the findings: a transcript cut
// short can leave a million of them.
struct Missing {
    std::vector<size_t> calls; // in call order
    size_t noted = Alignment::none; // the call whose finding has the note
    std::string note;

    Finding finding(size_t call) const
    {
        return {call, Alignment::none, "", {"missing"}, call == noted ? note : ""};
    }
};

std::string join(const std::vector<std::string> &ids)
{
    std::string out;
    for (const std::string &id : ids) out += (out.empty() ? "" : ", ") + id;
    return out;
}

// Line ends are judged on the whole transcript, against the reference's:
// lines that end otherwise than the C runtime writes them are one finding,
// and the transcript is then turned into the runtime's line ends, so that
// its reports compare as if written by it. On a runtime that writes CR LF,
// a transcript all in LF is what turning CR LF into LF gives (as for `cmp`):
// it is turned back without a finding. A last line cut between its CR and
// its LF loses the CR, as a report cut short.
void judge_line_ends(std::string &transcript, const std::string &expected, std::vector<Finding> &findings)
{
    const auto count = [](const std::string &text) {
        size_t feeds = 0, crlfs = 0;
        for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; ++at, ++feeds)
            crlfs += at > 0 && text[at - 1] == '\r';
        return std::make_pair(feeds, crlfs);
    };
    const auto [expected_feeds, expected_crlfs] = count(expected);
    const bool runtime_crlf = expected_feeds > 0 && expected_crlfs == expected_feeds;
    const auto [feeds, crlfs] = count(transcript);
    if (feeds == 0) return;
    std::string note;
    if (runtime_crlf && crlfs != feeds) {
        if (crlfs > feeds / 2)
            note = std::to_string(feeds - crlfs) + " of the transcript's " + std::to_string(feeds) +
                   " lines end in LF, this C runtime writes CR LF";
        std::string converted;
        converted.reserve(transcript.size() + feeds);
        for (size_t at = 0; at < transcript.size(); ++at) {
            const bool lone = transcript[at] == '\n' && (at == 0 || transcript[at - 1] != '\r');
            if (transcript[at] == '\n' && (lone || note.empty())) converted += '\r';
            converted += transcript[at];
        }
        transcript = std::move(converted);
    } else if (!runtime_crlf && crlfs > expected_crlfs) {
        note = crlfs == feeds ? "the transcript's lines end in CR LF, this C runtime writes LF"
                              : std::to_string(crlfs) + " of the transcript's " + std::to_string(feeds) +
                                    " lines end in CR LF, this C runtime writes LF";
        std::string converted;
        converted.reserve(transcript.size());
        for (const char c : transcript) {
            if (c == '\n' && !converted.empty() && converted.back() == '\r') converted.pop_back();
            converted += c;
        }
        if (!converted.empty() && converted.back() == '\r') converted.pop_back();
        transcript = std::move(converted);
    }
    if (!note.empty()) findings.push_back({Alignment::none, Alignment::none, "", {"line-ends"}, note});
}

// Has the reference print many attempts at once, for the printer to give.
using Prefetch = std::function<void(const std::vector<std::pair<Call, Attempt>> &)>;

// The findings of each call whose report differs, is missing or arrived
// elsewhere, and of each line of no call. A last line without its line end
// is a report the process did not finish writing: it is set aside and
// matched to a missing call.
void compare(const std::vector<Call> &calls, const Texts &expected, std::string transcript, bool exact,
             const Printer &print, const Prefetch &prefetch, std::vector<Finding> &findings, Missing &absent)
{
    const size_t last_feed = transcript.rfind('\n');
    const size_t whole = last_feed == std::string::npos ? 0 : last_feed + 1;
    const std::string cut = transcript.substr(whole);
    transcript.resize(whole);
    const Texts lines = Texts::lines_of(std::move(transcript));
    std::vector<int8_t> probe_index(calls.size());
    for (size_t i = 0; i < calls.size(); ++i) probe_index[i] = static_cast<int8_t>(calls[i].probe->ordinal - 1);
    Alignment alignment = align(expected, probe_index, lines);
    const auto received_of = [&](size_t i) { return std::string(lines.span(alignment.first[i], alignment.count[i])); };

    std::vector<size_t> missing;
    std::map<size_t, std::vector<size_t>> shifted_from;
    const size_t first_finding = findings.size();
    // The attempts of the next reports that differ are made together: once
    // with a printer that only notes them (a superset: it confirms none),
    // then for real, from what they printed.
    constexpr size_t batch = 256;
    size_t prefetched_to = 0;
    const auto prefetch_from = [&](size_t from) {
        std::vector<std::pair<Call, Attempt>> attempts;
        const Printer note = [&](const Call &call, const Attempt &attempt) {
            attempts.emplace_back(call, attempt);
            return std::string();
        };
        size_t count = 0, i = from;
        for (; i < calls.size() && count < batch; ++i) {
            if (alignment.kind[i] != Alignment::differs) continue;
            std::vector<size_t> ignored;
            explain(calls, i, received_of(i), exact, note, ignored);
            ++count;
        }
        prefetch(attempts);
        prefetched_to = i;
    };
    // Room for a finding for each call placed but not identical and for each
    // line of no call: a million of them are not moved as they grow.
    findings.reserve(findings.size() + 1 +
                     static_cast<size_t>(std::count(alignment.used.begin(), alignment.used.end(), false)) +
                     static_cast<size_t>(std::count_if(alignment.kind.begin(), alignment.kind.end(), [](auto kind) {
                         return kind != Alignment::identical && kind != Alignment::missing;
                     })));
    for (size_t i = 0; i < calls.size(); ++i) {
        const Alignment::Kind kind = alignment.kind[i];
        if (kind == Alignment::differs && i >= prefetched_to) prefetch_from(i);
        if (kind == Alignment::identical) continue;
        if (kind == Alignment::missing) {
            missing.push_back(i);
            continue;
        }
        const std::string received = kind == Alignment::moved ? std::string() : received_of(i);
        Finding finding{i, alignment.first[i], received, {}, ""};
        if (kind == Alignment::moved) {
            // Its report as expected: a shuffled transcript holds a million.
            finding.as_expected = true;
            finding.ids = {"order"};
        } else if (kind == Alignment::wrong) {
            // Another probe's report that shares neither the value nor
            // the file name with the call's own is of no call.
            const ReportFields got = fields_of(received), wanted = fields_of(std::string(expected[i]));
            if (got.value != wanted.value && got.filename != wanted.filename) {
                missing.push_back(i);
                for (size_t t = 0; t < alignment.count[i]; ++t) alignment.used[alignment.first[i] + t] = false;
                alignment.kind[i] = Alignment::missing;
                continue;
            }
            finding.ids = {"wrong-probe"};
            finding.note = "the report is one that " + std::string(probes[probe_of_line(received)].name) + " prints";
        } else {
            std::vector<size_t> from;
            finding.ids = explain(calls, i, received, exact, print, from);
            if (!from.empty()) shifted_from[i] = std::move(from);
            // A report that shares neither its value nor its file name with
            // the call's own, and that nothing explains, is of no call.
            const ReportFields got = fields_of(received), wanted = fields_of(std::string(expected[i]));
            if (finding.ids.empty() && wanted.has_filename && got.value != wanted.value &&
                got.filename != wanted.filename) {
                missing.push_back(i);
                for (size_t t = 0; t < alignment.count[i]; ++t) alignment.used[alignment.first[i] + t] = false;
                alignment.kind[i] = Alignment::missing;
                continue;
            }
            if (finding.ids.empty()) finding.ids = {"unexplained"};
        }
        findings.push_back(std::move(finding));
    }
    // With "%f" values, a neighbour's value that prints the same is no sign
    // of values out of step unless the neighbour's own report differs too.
    if (!exact)
        for (size_t f = first_finding; f < findings.size(); ++f) {
            Finding &finding = findings[f];
            const auto found = shifted_from.find(finding.call);
            if (found == shifted_from.end()) continue;
            const auto &from = found->second;
            const bool run = std::any_of(from.begin(), from.end(),
                                         [&](size_t other) { return alignment.kind[other] != Alignment::identical; });
            if (run) continue;
            finding.ids.erase(std::remove(finding.ids.begin(), finding.ids.end(), "shifted"), finding.ids.end());
            if (finding.ids.empty()) finding.ids = {"unexplained"};
        }
    std::sort(missing.begin(), missing.end());
    for (size_t line = 0; line < lines.size(); ++line)
        if (!alignment.used[line]) findings.push_back({Alignment::none, line, std::string(lines[line]), {"extra"}, ""});
    size_t last_present = 0;
    for (size_t i = 0; i < calls.size(); ++i)
        if (alignment.kind[i] != Alignment::missing) last_present = i + 1;
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
    if (all_at_end) {
        absent.noted = missing.front();
        absent.note = "every missing report is at the end: the C runtime's standard output was "
                      "probably not flushed before the process ended";
    }
    absent.calls = std::move(missing);
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
            // Only faults of where a value goes, not of what some values
            // become on the way (NaNs, subnormals) or of the name.
            if (probe.single != single || id.starts_with("name-") || id == "missing" || id == "order" ||
                id == "wrong-probe" || id == "quieted" || id == "payload-lost" || id == "flushed")
                continue;
            (probe.filename ? named_wrong : plain_wrong) += 1;
        }
        for (size_t i = 0; i < calls.size(); ++i)
            plain_right += calls[i].probe->single == single && !calls[i].probe->filename && !differs[i];
        if (named_wrong > 0 && plain_wrong == 0 && plain_right > 0) count += named_wrong;
    }
    return count;
}

// Appends each part to `out`: a million findings are written without a
// string made for each part.
template <typename... Parts>
void add(std::string &out, const Parts &...parts)
{
    (out.append(std::string_view(parts)), ...);
}

// Appends `bytes` in quotes, every one visible, written as in a call list.
void add_shown(std::string &out, std::string_view bytes)
{
    out += '"';
    escape_filename(bytes, out);
    out += '"';
}

// Appends one finding as it is printed: where, the call, what was expected
// and received, and the diagnosis.
void add_block(std::string &out, const Finding &finding, const std::vector<Call> &calls, const Texts &expected,
               const std::string &calls_name, const std::string &transcript_name)
{
    const auto add_where_line = [&] {
        if (finding.line == Alignment::none) add(out, "no report");
        else add(out, transcript_name, ":", std::to_string(finding.line + 1));
    };
    if (finding.call != Alignment::none) {
        const Call &call = calls[finding.call];
        const bool single = call.probe->single;
        add(out, calls_name, ":", std::to_string(call.line), ", ");
        add_where_line();
        char bits[24];
        std::snprintf(bits, sizeof bits, "0x%0*llx", single ? 8 : 16, static_cast<unsigned long long>(call.bits));
        add(out, "\n  call:      ", call.probe->name, " ", bits, " = ", exact_decimal(call.bits, single));
        if (call.probe->filename) {
            add(out, ", filename ");
            add_shown(out, call.filename);
        }
        add(out, "\n  expected:  ");
        add_shown(out, expected[finding.call]);
        add(out, "\n");
    } else if (finding.line != Alignment::none) {
        add_where_line();
        add(out, ": a line of no call\n");
    } else {
        add(out, transcript_name, "\n");
    }
    if (finding.line != Alignment::none) {
        add(out, "  received:  ");
        add_shown(out, finding.as_expected ? expected[finding.call] : std::string_view(finding.received));
        add(out, "\n");
    }
    const std::string &id = finding.ids.front();
    add(out, "  diagnosis: ", id, ": ", explanation(id), "\n");
    if (!finding.note.empty()) add(out, "             ", finding.note, "\n");
    if (finding.ids.size() > 1)
        add(out, "             (also explained by: ",
            join(std::vector<std::string>(finding.ids.begin() + 1, finding.ids.end())), ")\n");
    if (finding.accepted) add(out, "             accepted: a known limitation (--accept)\n");
    if (!finding.also_needed.empty())
        add(out, "             not accepted: it would take --accept ", finding.also_needed, " too\n");
}

// Calls `each` with every finding and every missing call's, in call order.
template <typename Each>
void in_call_order(const std::vector<Finding> &findings, const Missing &absent, bool missing_accepted, Each &&each)
{
    size_t next = 0;
    for (const Finding &finding : findings) {
        for (; next < absent.calls.size() && absent.calls[next] < finding.call; ++next) {
            Finding missing = absent.finding(absent.calls[next]);
            missing.accepted = missing_accepted;
            each(missing);
        }
        each(finding);
    }
    for (; next < absent.calls.size(); ++next) {
        Finding missing = absent.finding(absent.calls[next]);
        missing.accepted = missing_accepted;
        each(missing);
    }
}

// Every finding, in call order. A transcript of something else entirely
// would bury the rest under its lines of no call: the first ones are shown,
// the others counted.
void print_findings(const std::vector<Finding> &findings, const Missing &absent, bool missing_accepted,
                    const std::vector<Call> &calls, const Texts &expected, const std::string &calls_name,
                    const std::string &transcript_name)
{
    constexpr size_t extras_shown = 100;
    size_t extras = 0;
    // Written a few hundred findings at a time.
    std::string text;
    in_call_order(findings, absent, missing_accepted, [&](const Finding &finding) {
        if (finding.ids.front() == "extra" && ++extras > extras_shown) return;
        text += '\n';
        add_block(text, finding, calls, expected, calls_name, transcript_name);
        if (text.size() < (size_t{1} << 16)) return;
        std::fwrite(text.data(), 1, text.size(), stdout);
        text.clear();
    });
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (extras > extras_shown) std::printf("\n... and %zu more lines of no call\n", extras - extras_shown);
}

} // namespace

int check(const CheckRequest &request)
{
    const CallList list = CallList::read(request.calls);
    std::vector<Call> calls;
    calls.reserve(list.size());
    for (const Call &call : list) calls.push_back(call);
    std::string transcript = read_transcript(request.transcript);
    const bool transcript_empty = transcript.empty();
    const bool exact_default = request.exact || shows_bits(transcript);
    const std::string path =
        !request.library.empty() ? request.library : exact_default ? request.exact_library : request.main_library;

    std::vector<Finding> findings;
    Missing absent;
    Texts expected;
    bool exact = false;
    size_t nonzero = 0;
    std::string nonzero_line;
    {
        Reference reference(path);
        const Printer print = [&](const Call &call, const Attempt &attempt) { return reference.print(call, attempt); };
        const Prefetch prefetch = [&](const std::vector<std::pair<Call, Attempt>> &attempts) {
            reference.prefetch(attempts);
        };
        expected = reference.print_all(calls);
        exact = shows_bits(expected.text());
        nonzero = reference.nonzero;
        if (nonzero > 0)
            nonzero_line = request.calls + ":" + std::to_string(reference.first_nonzero.line) + ": " +
                           describe(reference.first_nonzero) + " returned 0x" +
                           hex_digits(static_cast<uint64_t>(reference.first_result), 16) + ", not 0" +
                           (nonzero == 1 ? "" : " (and " + std::to_string(nonzero - 1) + " later call" +
                                                    (nonzero == 2 ? "" : "s") + " too)");
        if (transcript.empty()) {
            for (size_t i = 0; i < calls.size(); ++i) absent.calls.push_back(i);
            absent.noted = 0;
            absent.note = "the transcript is empty";
        } else {
            judge_line_ends(transcript, expected.text(), findings);
            compare(calls, expected, std::move(transcript), exact, print, prefetch, findings, absent);
        }
    }
    std::map<std::string, size_t> counts = name_likeliest(findings);
    if (!absent.calls.empty()) counts["missing"] += absent.calls.size();
    const size_t astray = after_pointer(calls, findings);
    size_t accepted = 0;
    for (Finding &finding : findings) {
        finding.accepted = !request.accepted.empty() &&
                           std::all_of(finding.ids.begin(), finding.ids.end(),
                                       [&](const std::string &id) { return request.accepted.count(id) > 0; });
        accepted += finding.accepted;
        if (finding.accepted || request.accepted.empty()) continue;
        // Where some of its ids are accepted, it names the others.
        std::string others;
        for (const std::string &id : finding.ids)
            if (request.accepted.count(id) == 0) others += (others.empty() ? "" : ",") + id;
        if (std::any_of(finding.ids.begin(), finding.ids.end(),
                        [&](const std::string &id) { return request.accepted.count(id) > 0; }))
            finding.also_needed = others;
    }
    const bool missing_accepted = request.accepted.count("missing") > 0;
    accepted += missing_accepted ? absent.calls.size() : 0;
    const size_t finding_count = findings.size() + absent.calls.size();

    const auto earlier = [](const Finding &a, const Finding &b) {
        return std::tie(a.call, a.line) < std::tie(b.call, b.line);
    };
    // They are mostly found in order already: a million need not move.
    if (!std::is_sorted(findings.begin(), findings.end(), earlier))
        std::stable_sort(findings.begin(), findings.end(), earlier);
    const std::string &transcript_name = request.transcript == "-" ? std::string("(standard input)") : request.transcript;
    std::printf("Checking %s against the %zu calls of %s,\nwith the reference made by the %s library %s%s.\n",
                transcript_name.c_str(), calls.size(), request.calls.c_str(), exact ? "exact" : "main", path.c_str(),
                !request.library.empty() || request.exact ? ""
                : transcript_empty ? " (the transcript is empty; --exact judges against the exact library)"
                : exact_default    ? " (the transcript shows bit patterns)"
                                   : " (the transcript shows \"%f\" values)");
    if (nonzero > 0) std::printf("The reference's probes did not all return 0: %s.\n", nonzero_line.c_str());
    print_findings(findings, absent, missing_accepted, calls, expected, request.calls, transcript_name);

    size_t identical = calls.size() - absent.calls.size();
    for (const Finding &finding : findings)
        if (finding.call != Alignment::none) --identical;
    std::vector<std::pair<std::string, size_t>> summary(counts.begin(), counts.end());
    if (astray > 0) summary.emplace_back("after-pointer", astray);
    std::stable_sort(summary.begin(), summary.end(), [](const auto &a, const auto &b) { return a.second > b.second; });
    std::printf("\nSummary: %zu of %zu calls identical\n", identical, calls.size());
    // Of the findings counted under an accepted id, those whose other ids
    // are not all accepted still fail: the line says how many are accepted.
    std::map<std::string, size_t> accepted_of;
    for (const Finding &finding : findings) accepted_of[finding.ids.front()] += finding.accepted;
    accepted_of["missing"] = missing_accepted ? absent.calls.size() : 0;
    for (const auto &[id, count] : summary) {
        std::string mark;
        if (request.accepted.count(id) > 0 && counts.count(id) > 0)
            mark = accepted_of[id] == count ? "(accepted) "
                                            : "(" + std::to_string(accepted_of[id]) + " of " + std::to_string(count) +
                                                  " accepted) ";
        std::printf("  %5zu  %-16s %s%s\n", count, id.c_str(), mark.c_str(), explanation(id).c_str());
    }
    if (accepted > 0)
        std::printf("%zu of the %zu findings are accepted: they do not fail the check\n", accepted, finding_count);

    if (!request.junit.empty()) {
        std::vector<ReportedFinding> reported;
        in_call_order(findings, absent, missing_accepted, [&](const Finding &finding) {
            std::string text;
            add_block(text, finding, calls, expected, request.calls, transcript_name);
            reported.push_back({finding.call, std::move(text), finding.accepted});
        });
        write_junit(request.junit, request.calls, calls, reported);
    }
    // As --replay says it, on standard error.
    if (nonzero > 0) std::fprintf(stderr, "quellot-call: %s\n", nonzero_line.c_str());
    return finding_count == accepted && nonzero == 0 ? 0 : 1;
}
