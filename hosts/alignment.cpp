#include "alignment.h"

#include <algorithm>
#include <array>
#include <bit>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <utility>

#include "probes.h"

Texts Texts::lines_of(std::string text)
{
    Texts lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        at = end == std::string::npos ? text.size() : end + 1;
        lines.ends_.push_back(at);
    }
    lines.text_ = std::move(text);
    return lines;
}

int probe_of_line(std::string_view line)
{
    constexpr size_t arrow = 21; // the column of "=> "
    if (line.size() < arrow + 3 || line.substr(arrow, 3) != "=> ") return -1;
    for (size_t p = 0; p < std::size(probes); ++p) {
        const std::string_view name = probes[p].name;
        if (line.starts_with(name) && line.find_first_not_of(' ', name.size()) == arrow) return static_cast<int>(p);
    }
    return -1;
}

namespace {

// How far (calls and lines passed over) the walk looks around a difference
// before it looks up the whole transcript, and how many agreeing reports in
// a row confirm a place that near, and one farther.
constexpr size_t window = 16;
constexpr size_t confirming_run = 5;
constexpr size_t confirming_run_far = 16;
// How far in step the walk looks past the window before it looks up the
// whole transcript.
constexpr size_t in_step = 64;

uint64_t hash_of(std::string_view text)
{
    return std::hash<std::string_view>{}(text);
}

std::string_view first_line(std::string_view text)
{
    const size_t end = text.find('\n');
    return end == std::string_view::npos ? text : text.substr(0, end + 1);
}

// The numbers 0 to n - 1 ordered by their hashes, then by number, and where
// each run of leading hash bits starts among them: the numbers of one hash,
// from some number on, are found in a step or two. Made by counting, in
// time and memory proportional to n; the hashes are kept by the caller.
class HashIndex {
public:
    explicit HashIndex(const std::vector<uint64_t> &hashes) : hashes_(hashes)
    {
        const size_t n = hashes.size();
        // About four numbers to a run of leading bits.
        const size_t runs = std::bit_ceil(std::max<size_t>(n / 4, 1));
        shift_ = 64 - std::countr_zero(runs);
        starts_.assign(runs + 1, 0);
        for (const uint64_t hash : hashes) ++starts_[lead(hash) + 1];
        for (size_t r = 0; r < runs; ++r) starts_[r + 1] += starts_[r];
        numbers_.resize(n);
        std::vector<size_t> next(starts_.begin(), starts_.end() - 1);
        for (size_t i = 0; i < n; ++i) numbers_[next[lead(hashes[i])]++] = i;
        // Each run is in number order already, and short: sorted by
        // insertion, equal hashes stay in number order.
        for (size_t r = 0; r < runs; ++r)
            for (size_t k = starts_[r] + 1; k < starts_[r + 1]; ++k)
                for (size_t at = k; at > starts_[r] && hashes_[numbers_[at]] < hashes_[numbers_[at - 1]]; --at)
                    std::swap(numbers_[at], numbers_[at - 1]);
    }

    size_t size() const { return numbers_.size(); }
    uint64_t hash(size_t k) const { return hashes_[numbers_[k]]; }
    size_t number(size_t k) const { return numbers_[k]; }

    // The place of the first number from `from` on whose hash is `hash`, or
    // where it would be.
    size_t find(uint64_t hash, size_t from) const
    {
        const size_t r = lead(hash);
        const auto first = numbers_.begin() + static_cast<std::ptrdiff_t>(starts_[r]);
        const auto last = numbers_.begin() + static_cast<std::ptrdiff_t>(starts_[r + 1]);
        return static_cast<size_t>(std::lower_bound(first, last, from, [&](size_t number, size_t wanted) {
                                       return std::make_pair(hashes_[number], number) < std::make_pair(hash, wanted);
                                   }) - numbers_.begin());
    }

private:
    size_t lead(uint64_t hash) const { return shift_ == 64 ? 0 : static_cast<size_t>(hash >> shift_); }

    const std::vector<uint64_t> &hashes_;
    std::vector<size_t> numbers_;
    std::vector<size_t> starts_; // per run of leading bits, and the end
    int shift_ = 64;
};

class Aligner {
public:
    Aligner(const Texts &expected, const std::vector<int8_t> &probe_of_call, const Texts &lines)
        : expected_(expected), probes_(probe_of_call), lines_(lines), n_(expected.size()), m_(lines.size())
    {
        result_.kind.assign(n_, Alignment::missing);
        result_.first.assign(n_, Alignment::none);
        result_.count.assign(n_, 0);
        result_.used.assign(m_, false);
        lines_in_.resize(n_);
        report_hash_.resize(n_);
        for (size_t i = 0; i < n_; ++i) {
            const std::string_view report = expected_[i];
            lines_in_[i] = static_cast<uint32_t>(std::count(report.begin(), report.end(), '\n') +
                                                 (!report.empty() && report.back() != '\n'));
            report_hash_[i] = hash_of(report);
            longest_ = std::max<size_t>(longest_, lines_in_[i]);
        }
        std::vector<bool> has_size(longest_ + 1, false);
        for (const uint32_t size : lines_in_) has_size[size] = true;
        for (size_t size = longest_; size > 0; --size)
            if (has_size[size]) sizes_.push_back(static_cast<uint32_t>(size));
        line_hash_.resize(m_);
        for (size_t j = 0; j < m_; ++j) line_hash_[j] = hash_of(lines_[j]);
    }

    Alignment run()
    {
        walk();
        claim_if_shuffled();
        size_t lo = 0; // the line after the last identical report
        for (size_t i = 0; i < n_;) {
            if (result_.kind[i] == Alignment::identical) {
                lo = result_.first[i] + result_.count[i];
                ++i;
                continue;
            }
            size_t q = i;
            while (q < n_ && result_.kind[q] != Alignment::identical) ++q;
            pair_gap(i, q, lo, q < n_ ? result_.first[q] : m_);
            i = q;
        }
        if (std::find(result_.used.begin(), result_.used.end(), false) != result_.used.end())
            for (size_t j = 0; j < m_; ++j)
                if (!result_.used[j]) claim(j);
        return std::move(result_);
    }

private:
    // Whether call i's report is the transcript's lines from line j on.
    bool fits(size_t i, size_t j) const
    {
        const size_t k = lines_in_[i];
        if (k == 0) return true;
        return j + k <= m_ && (k > 1 || report_hash_[i] == line_hash_[j]) && lines_.span(j, k) == expected_[i];
    }

    // Whether the reports agree from (i, j) on for a run.
    bool confirmed(size_t i, size_t j, size_t run = confirming_run) const
    {
        size_t agreeing = 0;
        while (agreeing < run && i < n_ && j < m_ && fits(i, j)) {
            j += lines_in_[i++];
            ++agreeing;
        }
        // To the end of both; or to the end of either after two (a report
        // alone at the end proves nothing).
        return agreeing == run || (i == n_ && j == m_) || (agreeing >= 2 && (i == n_ || j == m_));
    }

    void place(size_t i, size_t j, size_t count, Alignment::Kind kind)
    {
        result_.kind[i] = kind;
        result_.first[i] = j;
        result_.count[i] = count;
        for (size_t t = 0; t < count; ++t) result_.used[j + t] = true;
    }

    // Identical reports in order, passing over what differs.
    // Where no place agrees for long (a shuffled transcript), the search is
    // made less and less often, so that the walk stays linear.
    void walk()
    {
        // (A report that agrees alone, among others that do not, is no
        // place found: reports that print alike agree by chance. Out of
        // step, a report shorter than the one there is not taken from it.)
        size_t i = 0, j = 0, failed = 0, agreeing = 0;
        while (i < n_ && (j < m_ || lines_in_[i] == 0)) {
            if (fits(i, j) && (failed == 0 || lines_in_[i] >= extent(j))) {
                place(i, j, lines_in_[i], Alignment::identical);
                j += lines_in_[i++];
                if (++agreeing >= confirming_run) failed = 0;
                continue;
            }
            agreeing = 0;
            const size_t every = failed < 64 ? 1 : std::min<size_t>(failed / 64, 256);
            const auto [calls, lines] = failed % every == 0 ? resync(i, j) : std::pair<size_t, size_t>{1, 1};
            failed = calls == 1 && lines == 1 ? failed + 1 : 0;
            i += calls;
            j += lines;
        }
    }

    // How many calls and lines to pass over from (i, j), where they differ,
    // to the nearest place where they agree for a run: the nearest within
    // the window, else the next in step (a run of values that arrived
    // wrong), else one found farther by looking the report and the line up,
    // else one of each (a report that differs, or is shuffled). A single
    // report that agrees is as likely a coincidence (a value that arrived
    // wrong prints like another call's) as a place.
    std::pair<size_t, size_t> resync(size_t i, size_t j)
    {
        for (size_t cost = 1; cost <= window; ++cost) {
            for (size_t calls = 0; calls <= cost; ++calls) {
                const size_t lines = cost - calls;
                if (i + calls >= n_ || j + lines >= m_) continue;
                if (fits(i + calls, j + lines) && confirmed(i + calls, j + lines)) return {calls, lines};
            }
        }
        // In step: as many lines passed over as the calls' reports take.
        for (size_t calls = 1, lines = lines_in_[i]; calls <= in_step && i + calls < n_ && j + lines < m_;
             lines += lines_in_[i + calls], ++calls)
            if (fits(i + calls, j + lines) && confirmed(i + calls, j + lines, confirming_run_far)) return {calls, lines};
        const auto distant = far_resync(i, j);
        if (distant.first + distant.second > 0) return distant;
        return {1, 1};
    }

    // The calls and the lines by hash, each made when first needed.
    const HashIndex &calls_by_hash()
    {
        if (!calls_by_hash_) calls_by_hash_.emplace(report_hash_);
        return *calls_by_hash_;
    }
    const HashIndex &lines_by_hash()
    {
        if (!lines_by_hash_) lines_by_hash_.emplace(line_hash_);
        return *lines_by_hash_;
    }

    // How many lines from line j on may be one report: line j and the
    // lines after it that start like no report (a file name's line feeds).
    size_t extent(size_t j) const
    {
        size_t count = 1;
        while (count < longest_ && j + count < m_ && probe_of_line(lines_[j + count]) < 0) ++count;
        return count;
    }

    // The hash of the report that lines j to j + count - 1 would be.
    uint64_t hash_at(size_t j, size_t count) const
    {
        return count == 1 ? line_hash_[j] : hash_of(lines_.span(j, count));
    }

    // The next call after i whose report is at line j, and the next line
    // after j where call i's report is, each confirmed; the nearer of them.
    std::pair<size_t, size_t> far_resync(size_t i, size_t j)
    {
        constexpr size_t tries = 8;
        std::pair<size_t, size_t> best{0, 0};
        const HashIndex &calls = calls_by_hash();
        const size_t most = extent(j);
        for (const size_t count : sizes_) {
            if (count > most || best.first != 0) continue;
            const uint64_t hash = hash_at(j, count);
            size_t k = calls.find(hash, i + 1);
            for (size_t t = 0; t < tries && k < calls.size() && calls.hash(k) == hash; ++t, ++k)
                if (fits(calls.number(k), j) && confirmed(calls.number(k), j, confirming_run_far)) {
                    best = {calls.number(k) - i, 0};
                    break;
                }
        }
        const HashIndex &lines = lines_by_hash();
        const uint64_t first = lines_in_[i] == 1 ? report_hash_[i] : hash_of(first_line(expected_[i]));
        size_t k = lines.find(first, j + 1);
        for (size_t t = 0; t < tries && k < lines.size() && lines.hash(k) == first; ++t, ++k)
            if (fits(i, lines.number(k)) && confirmed(i, lines.number(k), confirming_run_far)) {
                if (best.first == 0 || lines.number(k) - j < best.first) best = {0, lines.number(k) - j};
                break;
            }
        return best;
    }

    bool unused(size_t j, size_t count) const
    {
        for (size_t t = 0; t < count; ++t)
            if (result_.used[j + t]) return false;
        return true;
    }

    // The call without a report whose report is the lines from line j on,
    // if any (the earliest such call): that report, arrived elsewhere. A
    // call whose report is as long as the report there (its extent) comes
    // first, then calls of the next shorter size a report has: a name with
    // a line feed can print a first line that is the whole report of
    // another call.
    // free_[k]: the first entry from k on in calls_by_hash() whose call has
    // no report yet, found with path halving. An entry found to have one is
    // passed over for good, so it does not count as a try: a thousand calls
    // that print alike are each found, however their reports are shuffled.
    size_t identical_elsewhere(size_t j)
    {
        const HashIndex &calls = calls_by_hash();
        if (free_.empty()) {
            free_.resize(n_ + 1);
            for (size_t k = 0; k < n_; ++k)
                free_[k] = result_.kind[calls.number(k)] == Alignment::missing ? k : k + 1;
            free_[n_] = n_;
        }
        const auto free_from = [&](size_t k) {
            while (free_[k] != k) {
                free_[k] = free_[free_[k]];
                k = free_[k];
            }
            return k;
        };
        constexpr size_t tries = 8;
        const size_t most = extent(j);
        for (const size_t count : sizes_) {
            if (count > most) continue;
            const uint64_t hash = hash_at(j, count);
            size_t k = free_from(calls.find(hash, 0));
            for (size_t t = 0; t < tries && k < n_ && calls.hash(k) == hash;) {
                const size_t call = calls.number(k);
                if (result_.kind[call] != Alignment::missing) {
                    free_[k] = k + 1;
                } else if (lines_in_[call] == count && fits(call, j) && unused(j, count)) {
                    return call;
                } else {
                    ++t;
                }
                k = free_from(k + 1);
            }
        }
        return Alignment::none;
    }

    // Makes the lines from line j on the report that arrived elsewhere of a
    // call without one, if they are one.
    bool claim(size_t j)
    {
        const size_t call = identical_elsewhere(j);
        if (call == Alignment::none) return false;
        place(call, j, lines_in_[call], Alignment::moved);
        return true;
    }

    // Where a good share of the transcript's lines are left over and most
    // report lines left over are reports, identical, of calls left over far
    // from where they stand, the transcript was shuffled: they are taken as
    // moved before anything is paired in place. (A report identical to a
    // neighbour's is a value out of step, not one moved. A few lines left
    // over where reports went missing are no shuffle, even where they print
    // like calls far away: many calls print "0.000000".)
    void claim_if_shuffled()
    {
        // Judged on at most 4,096 of them, spread over the transcript.
        const size_t step = std::max<size_t>(1, m_ / 4096);
        const auto left_over = [&](size_t j) { return !result_.used[j] && probe_of_line(lines_[j]) >= 0; };
        size_t sampled = 0, left = 0;
        for (size_t j = 0; j < m_; j += step, ++sampled) left += left_over(j);
        if (left * step < 64 || 4 * left < sampled) return;
        size_t judged = 0, distant = 0;
        std::set<size_t> seen;
        for (size_t j = 0; j < m_; j += step) {
            if (!left_over(j)) continue;
            // Each call is judged once: values that arrived as the same
            // wrong value, and calls that print alike, print like one call's
            // report many times.
            const size_t call = identical_elsewhere(j);
            if (call != Alignment::none && !seen.insert(call).second) continue;
            ++judged;
            if (call == Alignment::none) continue;
            const size_t place = static_cast<size_t>(static_cast<double>(call) * static_cast<double>(m_) /
                                                     static_cast<double>(std::max<size_t>(n_, 1)));
            distant += place > j + 8 || j > place + 8;
        }
        if (judged * step < 64 || 2 * distant <= judged) return;
        for (size_t j = 0; j < m_; ++j)
            if (left_over(j)) claim(j);
    }

    // A report line left over between lo and hi, with the lines after it
    // that start like no report.
    struct Group {
        size_t first, count;
        int probe;
    };

    // Pairs the calls without a report from p to q with the reports left
    // over in lines lo to hi, in order.
    void pair_gap(size_t p, size_t q, size_t lo, size_t hi)
    {
        std::vector<size_t> calls;
        for (size_t i = p; i < q; ++i)
            if (result_.kind[i] == Alignment::missing && lines_in_[i] > 0) calls.push_back(i);
        std::vector<Group> groups;
        for (size_t j = lo; j < hi; ++j) {
            if (result_.used[j]) continue;
            const int probe = probe_of_line(lines_[j]);
            if (probe >= 0)
                groups.push_back({j, 1, probe});
            else if (!groups.empty() && groups.back().first + groups.back().count == j)
                ++groups.back().count;
        }
        if (calls.empty() || groups.empty()) return;
        // Where most report lines left over are reports of calls left over,
        // the reports were shuffled: those are taken as moved first. Where
        // few are, they are values that arrived wrong and print like another
        // call's: the reports pair in place first.
        // (A report identical to a neighbour's is a value out of step, not a
        // report moved: only those of calls farther away count.)
        size_t elsewhere = 0;
        for (size_t y = 0; y < groups.size() && groups.size() >= 64; ++y) {
            const size_t call = identical_elsewhere(groups[y].first);
            if (call == Alignment::none) continue;
            const size_t x = static_cast<size_t>(std::lower_bound(calls.begin(), calls.end(), call) - calls.begin());
            elsewhere += x > y + 8 || y > x + 8;
        }
        if (groups.size() >= 64 && 2 * elsewhere > groups.size()) {
            std::vector<Group> left;
            for (const Group &group : groups)
                if (!claim(group.first)) left.push_back(group);
            std::erase_if(calls, [&](size_t call) { return result_.kind[call] != Alignment::missing; });
            groups = std::move(left);
            if (calls.empty() || groups.empty()) return;
        }
        if (calls.size() * groups.size() > 4096) return pair_by_probe(calls, groups);
        // Either every call pairs with the report in its place, or the
        // reports identical to calls here are theirs, in order or moved, and
        // the others pair: whichever leaves fewer findings, weighing a call
        // without a report and a line of no call as two. A run of values out
        // of step thus stays paired; reports that changed places do not.
        const bool at_end = hi == m_;
        Plan in_place = pair_closely(calls, groups, at_end);
        Plan by_identity;
        std::vector<bool> call_taken(calls.size()), group_taken(groups.size());
        for (size_t y = 0, after = 0; y < groups.size(); ++y)
            for (size_t x = after; x < calls.size(); ++x)
                if (fits(calls[x], groups[y].first) && lines_in_[calls[x]] <= groups[y].count) {
                    by_identity.pairs.emplace_back(x, y);
                    call_taken[x] = group_taken[y] = true;
                    after = x + 1;
                    break;
                }
        for (size_t y = 0; y < groups.size(); ++y) {
            for (size_t x = 0; x < calls.size() && !group_taken[y]; ++x)
                if (!call_taken[x] && fits(calls[x], groups[y].first) && lines_in_[calls[x]] <= groups[y].count) {
                    by_identity.moved.emplace_back(x, y);
                    call_taken[x] = group_taken[y] = true;
                }
            // The report of a call farther away, also without one.
            const size_t call = group_taken[y] ? Alignment::none : identical_elsewhere(groups[y].first);
            if (call != Alignment::none && !std::binary_search(calls.begin(), calls.end(), call)) {
                by_identity.moved_here.emplace_back(call, y);
                group_taken[y] = true;
            }
        }
        // The others pair in order between the identical reports in order,
        // never across one: a report that differs and sits before a call's
        // identical report is no report of a call after it.
        std::vector<std::pair<size_t, size_t>> anchors = by_identity.pairs;
        anchors.emplace_back(calls.size(), groups.size());
        for (size_t a = 0, x = 0, y = 0; a < anchors.size(); ++a) {
            std::vector<size_t> calls_left, calls_index, groups_index;
            std::vector<Group> groups_left;
            for (; x < anchors[a].first; ++x)
                if (!call_taken[x]) calls_left.push_back(calls[x]), calls_index.push_back(x);
            for (; y < anchors[a].second; ++y)
                if (!group_taken[y]) groups_left.push_back(groups[y]), groups_index.push_back(y);
            const bool last = a + 1 == anchors.size();
            for (const auto &[cx, gy] : pair_closely(calls_left, groups_left, at_end && last).pairs)
                by_identity.pairs.emplace_back(calls_index[cx], groups_index[gy]);
        }
        const Plan &best = score(by_identity, calls, groups, at_end) < score(in_place, calls, groups, at_end)
                               ? by_identity
                               : in_place;
        for (const auto &[x, y] : best.pairs) pair(calls[x], groups[y]);
        for (const auto &[x, y] : best.moved) place(calls[x], groups[y].first, lines_in_[calls[x]], Alignment::moved);
        for (const auto &[call, y] : best.moved_here) place(call, groups[y].first, lines_in_[call], Alignment::moved);
    }

    // Calls paired with groups, by their places in the lists of a gap.
    struct Plan {
        std::vector<std::pair<size_t, size_t>> pairs, moved;
        std::vector<std::pair<size_t, size_t>> moved_here; // calls of other gaps, by their numbers
    };

    // The findings a plan leaves, a call without a report and a line of no
    // call weighing two. Where the gap ends the transcript, the calls after
    // the last one placed weigh one: a transcript cut short leaves them
    // missing in order, and a plan that leaves holes before it is worse.
    unsigned score(const Plan &plan, const std::vector<size_t> &calls, const std::vector<Group> &groups,
                   bool at_end) const
    {
        const size_t placed = plan.pairs.size() + plan.moved.size();
        size_t last = 0; // one past the last call placed, by its place in `calls`
        for (const auto &[x, y] : plan.pairs) last = std::max(last, x + 1);
        for (const auto &[x, y] : plan.moved) last = std::max(last, x + 1);
        const size_t trailing = at_end ? calls.size() - last : 0;
        unsigned total = static_cast<unsigned>(2 * (calls.size() - placed) - trailing +
                                               2 * (groups.size() - placed - plan.moved_here.size()) +
                                               plan.moved.size() + plan.moved_here.size());
        for (const auto &[x, y] : plan.pairs)
            total += fits(calls[x], groups[y].first) ? 0 : groups[y].probe == probes_[calls[x]] ? 1 : 2;
        return total;
    }

    // A report in its place that agrees alone, among others that differ,
    // is identical all the same.
    void pair(size_t call, const Group &group)
    {
        const size_t count = std::min<size_t>(group.count, lines_in_[call]);
        const Alignment::Kind kind = fits(call, group.first)        ? Alignment::identical
                                     : group.probe == probes_[call] ? Alignment::differs
                                                                    : Alignment::wrong;
        place(call, group.first, count, kind);
    }

    // Fewest calls and reports unpaired, in order: a report of the call's
    // own probe pairs for nothing (identical) or little, of another probe for
    // less than leaving both. Where the gap ends the transcript, the calls
    // left after the last pair cost less than those left between pairs: a
    // transcript cut short is its calls in order.
    Plan pair_closely(const std::vector<size_t> &calls, const std::vector<Group> &groups, bool at_end) const
    {
        constexpr unsigned skip = 4, differ = 1, other = 6;
        const size_t a = calls.size(), b = groups.size();
        Plan plan;
        if (a == 0 || b == 0) return plan;
        // cost[x][y]: the least cost of pairing calls x.. with groups y..
        std::vector<unsigned> cost((a + 1) * (b + 1));
        const auto at = [&](size_t x, size_t y) -> unsigned & { return cost[x * (b + 1) + y]; };
        const auto pair_cost = [&](size_t x, size_t y) {
            return groups[y].probe != probes_[calls[x]] ? other : fits(calls[x], groups[y].first) ? 0u : differ;
        };
        for (size_t x = a + 1; x-- > 0;)
            for (size_t y = b + 1; y-- > 0;) {
                if (x == a || y == b) {
                    at(x, y) = static_cast<unsigned>(skip * (b - y) + (at_end ? skip / 2 : skip) * (a - x));
                    continue;
                }
                at(x, y) = std::min({pair_cost(x, y) + at(x + 1, y + 1), skip + at(x + 1, y), skip + at(x, y + 1)});
            }
        for (size_t x = 0, y = 0; x < a && y < b;) {
            if (at(x, y) == pair_cost(x, y) + at(x + 1, y + 1)) {
                plan.pairs.emplace_back(x++, y++);
            } else if (at(x, y) == skip + at(x + 1, y)) {
                ++x;
            } else {
                ++y;
            }
        }
        return plan;
    }

    // In a long stretch: each report pairs with the next call of its probe.
    void pair_by_probe(const std::vector<size_t> &calls, const std::vector<Group> &groups)
    {
        std::array<std::deque<size_t>, std::size(probes)> waiting;
        for (const size_t call : calls) waiting[static_cast<size_t>(probes_[call])].push_back(call);
        size_t after = 0;
        for (const Group &group : groups) {
            auto &queue = waiting[static_cast<size_t>(group.probe)];
            while (!queue.empty() && queue.front() < after) queue.pop_front();
            if (queue.empty()) continue;
            after = queue.front() + 1;
            pair(queue.front(), group);
            queue.pop_front();
        }
    }

    const Texts &expected_;
    const std::vector<int8_t> &probes_;
    const Texts &lines_;
    const size_t n_, m_;
    std::vector<uint32_t> lines_in_;
    size_t longest_ = 0;          // the most lines of a report
    std::vector<uint32_t> sizes_; // the lines of some call's report, most first
    std::vector<uint64_t> report_hash_, line_hash_; // of each call's whole report, of each line
    std::optional<HashIndex> calls_by_hash_, lines_by_hash_;
    std::vector<size_t> free_;
    Alignment result_;
};

} // namespace

Alignment align(const Texts &expected, const std::vector<int8_t> &probe_of_call, const Texts &lines)
{
    return Aligner(expected, probe_of_call, lines).run();
}
