#include "junit.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "failure.h"
#include "system_text.h"

namespace {

// Text as XML character data or an attribute value. The findings show every
// byte that is not printable ASCII as an escape, and a comment of the list
// may hold any byte: those are shown as "?", as XML cannot hold them all.
std::string xml(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '"') out += "&quot;";
        else if ((byte < 0x20 && c != '\n') || byte >= 0x7f) out += '?';
        else out += c;
    }
    return out;
}

struct Group {
    size_t first_call; // the index of its first call
    std::string name;
};

// The groups of the list: each run of calls headed by the same comment. A
// list that cannot be read again (a pipe) is one group.
std::vector<Group> groups_of(const std::string &list, const std::vector<Call> &calls)
{
    std::vector<Group> groups;
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> in(open_for_reading(list), &std::fclose);
    std::string heading, block_first;
    bool in_block = false, heading_new = false;
    size_t number = 0, call = 0;
    const auto take = [&](std::string_view body) {
        ++number;
        if (body.ends_with('\r')) body.remove_suffix(1);
        if (!body.empty() && body.front() == '#') {
            if (!in_block) {
                body.remove_prefix(std::min(body.find_first_not_of("# "), body.size()));
                block_first = body;
            }
            in_block = true;
            return;
        }
        if (in_block) {
            heading = block_first;
            heading_new = true;
        }
        in_block = false;
        if (call < calls.size() && calls[call].line == number) {
            if (groups.empty() || heading_new) groups.push_back({call, heading.empty() ? list : heading});
            heading_new = false;
            ++call;
        }
    };
    if (in) {
        std::string pending;
        char buffer[1 << 16];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0;) {
            pending.append(buffer, n);
            size_t at = 0;
            for (size_t end; (end = pending.find('\n', at)) != std::string::npos; at = end + 1)
                take(std::string_view(pending).substr(at, end - at));
            pending.erase(0, at);
        }
        if (!pending.empty()) take(pending);
    }
    if (groups.empty() || call != calls.size()) groups = {{0, list}};
    return groups;
}

} // namespace

void write_junit(const std::string &file, const std::string &list, const std::vector<Call> &calls,
                 const std::vector<ReportedFinding> &findings)
{
    const std::vector<Group> groups = groups_of(list, calls);
    struct Case {
        std::string name, failures, accepted;
        size_t failed = 0;
    };
    std::vector<Case> cases;
    for (size_t g = 0; g < groups.size(); ++g) {
        const size_t last = g + 1 < groups.size() ? groups[g + 1].first_call - 1 : calls.size() - 1;
        cases.push_back({groups[g].name + " (" + list + ":" + std::to_string(calls[groups[g].first_call].line) + "-" +
                             std::to_string(calls[last].line) + ")",
                         "", ""});
    }
    cases.push_back({"the transcript's lines of no call and line ends", "", ""});
    for (const ReportedFinding &finding : findings) {
        size_t index = cases.size() - 1;
        if (finding.call < calls.size())
            index = static_cast<size_t>(std::upper_bound(groups.begin(), groups.end(), finding.call,
                                                         [](size_t call, const Group &group) {
                                                             return call < group.first_call;
                                                         }) -
                                        groups.begin()) -
                    1;
        Case &into = cases[index];
        (finding.accepted ? into.accepted : into.failures) += finding.text + "\n";
        into.failed += !finding.accepted;
    }
    size_t failed = 0;
    for (const Case &test : cases) failed += test.failed > 0;
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    const std::string counts =
        " tests=\"" + std::to_string(cases.size()) + "\" failures=\"" + std::to_string(failed) + "\" errors=\"0\"";
    out += "<testsuites name=\"quellot-call --check\"" + counts + ">\n";
    out += "  <testsuite name=\"" + xml(list) + "\"" + counts + ">\n";
    for (const Case &test : cases) {
        out += "    <testcase classname=\"" + xml(list) + "\" name=\"" + xml(test.name) + "\">\n";
        if (test.failed > 0)
            out += "      <failure type=\"findings\" message=\"" + std::to_string(test.failed) + " finding" +
                   (test.failed == 1 ? "" : "s") + "\">" + xml(test.failures) + "</failure>\n";
        if (!test.accepted.empty()) out += "      <system-out>accepted:\n" + xml(test.accepted) + "</system-out>\n";
        out += "    </testcase>\n";
    }
    out += "  </testsuite>\n</testsuites>\n";
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> to(open_for_writing(file), &std::fclose);
    const auto refused = [&]() {
        return Failure{exit_host, "cannot write the JUnit report '" + file + "': " + std::strerror(errno)};
    };
    if (!to) throw refused();
    if (std::fwrite(out.data(), 1, out.size(), to.get()) != out.size() || std::fflush(to.get()) != 0) throw refused();
}
