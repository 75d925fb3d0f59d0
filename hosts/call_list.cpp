#include "call_list.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string_view>
#include <system_error>

#include "failure.h"
#include "system_text.h"
#include "values.h"

namespace {

// A FILENAME field with its escapes (\\ \t \n \r \xHH) decoded.
std::string unescape(std::string_view field)
{
    std::string name;
    for (size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c < 0x20 || c > 0x7e)
            throw usage("FILENAME holds a byte that is not printable ASCII; write it as \\xHH");
        if (c != '\\') {
            name += c;
            continue;
        }
        const char escape = ++i < field.size() ? field[i] : '\0';
        if (escape == '\\' || escape == 't' || escape == 'n' || escape == 'r') {
            name += escape == 't' ? '\t' : escape == 'n' ? '\n' : escape == 'r' ? '\r' : '\\';
            continue;
        }
        unsigned byte = 0;
        const std::string_view hex = escape == 'x' ? field.substr(i + 1, 2) : std::string_view();
        const auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), byte, 16);
        if (escape != 'x' || hex.size() != 2 || ec != std::errc() || end != hex.data() + 2)
            throw usage("FILENAME has a bad escape at '" + std::string(field.substr(i - 1, 4)) +
                        "': use \\\\, \\t, \\n, \\r or \\xHH");
        if (byte == 0) throw usage("FILENAME cannot hold \\x00, which would end the name");
        name += static_cast<char>(byte);
        i += 2;
    }
    return name;
}

// One line that is neither blank nor a comment.
Call read_call(std::string_view line)
{
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        const size_t tab = line.find('\t', start);
        fields.emplace_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    Call call;
    call.probe = &probe_named(fields[0]);
    const size_t wanted = call.probe->filename ? 3 : 2;
    if (fields.size() != wanted)
        throw usage(std::string(call.probe->name) + " takes " + std::to_string(wanted) +
                    " tab-separated fields, got " + std::to_string(fields.size()));
    call.bits = parse_bits(fields[1], call.probe->single, false);
    if (call.probe->filename) call.filename = unescape(fields[2]);
    return call;
}

// The whole of `file`. A list that cannot be read whole (a directory, a read
// error, not enough memory) is refused, naming the reason, rather than taken
// for a shorter list.
std::string read_whole(const std::string &file)
{
    const auto refused = [&](const std::string &reason) {
        return usage("cannot read call list '" + file + "': " + reason);
    };
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> in(open_for_reading(file), &std::fclose);
    if (!in) throw refused(std::strerror(errno));
    std::string text;
    try {
        // Room for a regular file's whole size at once: no copy as it grows.
        std::error_code unknown;
        const auto size = std::filesystem::file_size(system_path(file), unknown);
        if (!unknown) text.reserve(static_cast<size_t>(size));
        char chunk[1 << 16];
        while (const size_t n = std::fread(chunk, 1, sizeof chunk, in.get())) text.append(chunk, n);
    } catch (const std::bad_alloc &) {
        throw refused("not enough memory to hold it");
    }
    if (std::ferror(in.get())) throw refused(std::strerror(errno));
    return text;
}

} // namespace

std::string escape_filename(std::string_view name)
{
    std::string field;
    for (const char c : name) {
        const auto ch = static_cast<unsigned char>(c);
        if (c == '\\' || c == '\t' || c == '\n' || c == '\r')
            field += c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\n' ? "\\n" : "\\r";
        else if (ch < 0x20 || ch > 0x7e)
            field += "\\x" + hex_digits(ch, 2);
        else
            field += c;
    }
    return field;
}

std::vector<Call> read_call_list(const std::string &file)
{
    const std::string text = read_whole(file);
    std::vector<Call> calls;
    try {
        size_t number = 1;
        for (size_t start = 0; start < text.size(); ++number) {
            const size_t end = std::min(text.find('\n', start), text.size());
            std::string_view line(text.data() + start, end - start);
            start = end + 1;
            if (line.ends_with('\r')) line.remove_suffix(1);
            // Blank lines (nothing, or only blanks and tabs) and "#" lines are comments.
            if (line.find_first_not_of(" \t") == std::string_view::npos || line.front() == '#') continue;
            try {
                calls.push_back(read_call(line));
                calls.back().line = number;
            } catch (const Failure &failure) {
                throw Failure{failure.code, file + ":" + std::to_string(number) + ": " + failure.message};
            }
        }
    } catch (const std::bad_alloc &) {
        throw usage("cannot read call list '" + file + "': not enough memory for its calls");
    }
    return calls;
}
