#include "call_list.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
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

// A FILENAME field with its escapes (\\ \t \n \r \xHH) decoded, written at
// `out`; returns the end of what was written, never more than the field.
char *unescape(std::string_view field, char *out)
{
    for (size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c < 0x20 || c > 0x7e)
            throw usage("FILENAME holds a byte that is not printable ASCII; write it as \\xHH");
        if (c != '\\') {
            *out++ = c;
            continue;
        }
        const char escape = ++i < field.size() ? field[i] : '\0';
        if (escape == '\\' || escape == 't' || escape == 'n' || escape == 'r') {
            *out++ = escape == 't' ? '\t' : escape == 'n' ? '\n' : escape == 'r' ? '\r' : '\\';
            continue;
        }
        unsigned value = 0;
        const std::string_view hex = escape == 'x' ? field.substr(i + 1, 2) : std::string_view();
        const auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
        if (escape != 'x' || hex.size() != 2 || ec != std::errc() || end != hex.data() + 2)
            throw usage("FILENAME has a bad escape at '" + std::string(field.substr(i - 1, 4)) +
                        "': use \\\\, \\t, \\n, \\r or \\xHH");
        if (value == 0) throw usage("FILENAME cannot hold \\x00, which would end the name");
        *out++ = static_cast<char>(value);
        i += 2;
    }
    return out;
}

// Checks one line that is neither blank nor a comment, the call on line
// `number`, and writes its record at `out`: the probe's ordinal (1 byte); the
// count of lines since the previous call's (1 byte), or 255 and the line
// number (8 bytes); the bits (4 or 8 bytes); for the file-name probes, the
// name and a NUL. A record is shorter than its line ("call_float<tab>" and 8
// digits are already 19 bytes) and the name is written no faster than it is
// read, so `out` may point into the text before the line: nothing is
// overwritten before it is read. Returns the end of the record.
char *pack(std::string_view line, size_t number, size_t previous, char *out)
{
    std::string_view fields[3];
    size_t count = 0;
    for (size_t start = 0;; ++count) {
        const size_t tab = line.find('\t', start);
        if (count < 3) fields[count] = line.substr(start, tab - start);
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    const Probe &probe = probe_named(fields[0]);
    const size_t wanted = probe.filename ? 3 : 2;
    if (++count != wanted)
        throw usage(std::string(probe.name) + " takes " + std::to_string(wanted) + " tab-separated fields, got " +
                    std::to_string(count));
    const uint64_t bits = parse_bits(fields[1], probe.single, false);
    *out++ = static_cast<char>(probe.ordinal);
    if (number - previous < 255) {
        *out++ = static_cast<char>(number - previous);
    } else {
        const uint64_t line_number = number;
        *out++ = static_cast<char>(255);
        out = static_cast<char *>(std::memcpy(out, &line_number, 8)) + 8;
    }
    const uint32_t single = static_cast<uint32_t>(bits);
    out = probe.single ? static_cast<char *>(std::memcpy(out, &single, 4)) + 4
                       : static_cast<char *>(std::memcpy(out, &bits, 8)) + 8;
    if (probe.filename) {
        out = unescape(fields[2], out);
        *out++ = '\0';
    }
    return out;
}

// Reads and packs line `number`, if it holds a call, and then makes it the
// previous call's line; `where` names the list.
char *pack_line(std::string_view line, size_t number, size_t &previous, char *out, const std::string &where)
{
    if (line.ends_with('\r')) line.remove_suffix(1);
    // An editor's byte-order mark would otherwise be an invisible part of
    // the first probe's name.
    if (number == 1 && line.starts_with("\xEF\xBB\xBF"))
        throw Failure{exit_usage, where + ":1: the list starts with a UTF-8 byte-order mark (the bytes \\xEF\\xBB\\xBF): "
                                          "a call list holds none; save it without one"};
    // Blank lines (nothing, or only blanks and tabs) and "#" lines are comments.
    if (line.find_first_not_of(" \t") == std::string_view::npos || line.front() == '#') return out;
    try {
        out = pack(line, number, previous, out);
        previous = number;
        return out;
    } catch (const Failure &failure) {
        throw Failure{failure.code, where + ":" + std::to_string(number) + ": " + failure.message};
    }
}

} // namespace

std::string &escape_filename(std::string_view name, std::string &field)
{
    for (size_t at = 0; at < name.size();) {
        // A run of bytes written as they are, then one escaped.
        size_t plain = at;
        for (; plain < name.size(); ++plain) {
            const auto ch = static_cast<unsigned char>(name[plain]);
            if (ch < 0x20 || ch > 0x7e || ch == '\\') break;
        }
        field.append(name, at, plain - at);
        if (plain == name.size()) break;
        const char c = name[plain];
        if (c == '\\' || c == '\t' || c == '\n' || c == '\r') {
            field += c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\n' ? "\\n" : "\\r";
        } else {
            field += "\\x";
            field += hex_digits(static_cast<unsigned char>(c), 2);
        }
        at = plain + 1;
    }
    return field;
}

std::string escape_filename(std::string_view name)
{
    std::string field;
    return escape_filename(name, field);
}

CallList CallList::read(const std::string &file)
{
    const auto refused = [&](const std::string &reason) {
        return usage("cannot read call list '" + file + "': " + reason);
    };
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> in(open_for_reading(file), &std::fclose);
    if (!in) throw refused(std::strerror(errno));

    // The list is read a chunk at a time into one buffer, each whole line
    // packed at once into records at the buffer's start (`out`) and the rest
    // of the text (`pending`, `have` bytes of a line not yet whole) moved up
    // to them: the buffer's memory is touched no further than the records and
    // a line plus a chunk. A regular file's buffer has room for all of it;
    // any other file's buffer grows as it is read.
    constexpr size_t chunk = size_t{1} << 16;
    CallList list;
    size_t capacity = 0;
    char *out = nullptr;
    char *pending = nullptr;
    size_t have = 0;
    size_t number = 1;
    size_t previous = 0;
    try {
        std::error_code unknown;
        const auto known = std::filesystem::file_size(system_path(file), unknown);
        capacity = unknown ? chunk : static_cast<size_t>(known) + 1;
        list.text_ = std::make_unique_for_overwrite<char[]>(capacity);
        out = pending = list.text_.get();
        for (;;) {
            if (pending != out) pending = static_cast<char *>(std::memmove(out, pending, have));
            char *const end = list.text_.get() + capacity;
            if (pending + have == end) {
                auto larger = std::make_unique_for_overwrite<char[]>(2 * capacity);
                std::memcpy(larger.get(), list.text_.get(), capacity);
                pending = larger.get() + (pending - list.text_.get());
                out = larger.get() + (out - list.text_.get());
                list.text_ = std::move(larger);
                capacity *= 2;
                continue;
            }
            const size_t n = std::fread(pending + have, 1, std::min(chunk, static_cast<size_t>(end - pending - have)),
                                        in.get());
            if (n == 0) break;
            const char *scanned = pending + have;
            have += n;
            while (const char *newline = static_cast<const char *>(
                       std::memchr(scanned, '\n', static_cast<size_t>(pending + have - scanned)))) {
                const size_t length = static_cast<size_t>(newline - pending);
                const char *const before = out;
                out = pack_line(std::string_view(pending, length), number++, previous, out, file);
                list.size_ += out != before;
                pending += length + 1;
                have -= length + 1;
                scanned = pending;
            }
        }
    } catch (const std::bad_alloc &) {
        throw refused("not enough memory to hold it");
    }
    if (std::ferror(in.get())) throw refused(std::strerror(errno));
    if (have != 0) {
        const char *const before = out;
        out = pack_line(std::string_view(pending, have), number, previous, out, file);
        list.size_ += out != before;
    }
    // The records take less than the text they were read from: a large
    // list gives the rest back, for --check to hold its reports in.
    const auto used = static_cast<size_t>(out - list.text_.get());
    if (capacity - used > (size_t{1} << 20)) {
        try {
            auto fitted = std::make_unique_for_overwrite<char[]>(used);
            std::memcpy(fitted.get(), list.text_.get(), used);
            list.text_ = std::move(fitted);
            out = list.text_.get() + used;
        } catch (const std::bad_alloc &) {
            // The list stays where it is.
        }
    }
    list.end_ = out;
    return list;
}

CallList::Iterator::Iterator(const char *record, const char *end) : record_(record), end_(end)
{
    decode();
}

CallList::Iterator &CallList::Iterator::operator++()
{
    record_ = next_;
    decode();
    return *this;
}

void CallList::Iterator::decode()
{
    if (record_ == end_) return;
    const char *field = record_;
    call_.probe = &probes[static_cast<unsigned char>(*field++) - 1];
    const auto skipped = static_cast<unsigned char>(*field++);
    if (skipped < 255) {
        call_.line += skipped;
    } else {
        uint64_t line = 0;
        std::memcpy(&line, field, 8);
        call_.line = static_cast<size_t>(line);
        field += 8;
    }
    if (call_.probe->single) {
        uint32_t single = 0;
        std::memcpy(&single, field, 4);
        call_.bits = single;
        field += 4;
    } else {
        std::memcpy(&call_.bits, field, 8);
        field += 8;
    }
    call_.filename = "";
    if (call_.probe->filename) {
        call_.filename = field;
        field += std::strlen(field) + 1;
    }
    next_ = field;
}
