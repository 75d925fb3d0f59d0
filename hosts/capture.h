// Sends the process's standard output (file descriptor 1) to a temporary file
// for as long as a capture lasts, so that the host can read back the exact
// bytes the probes hand to the C runtime's stream, in the stream's own mode.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

#include "failure.h"

class OutputCapture {
public:
    // Refuses (exit 4, with the reason) when standard output cannot be
    // taken over or the file cannot be made. The file has no name left once
    // both ends are open (on Windows it goes when they are closed), so that
    // nothing stays behind, even when the process is killed.
    OutputCapture()
    {
        std::error_code error;
        const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
        if (error) throw refused("no folder for temporary files: " + error.message());
        // The process and the object name the file, so that a capture made
        // while another is running does not take over the other's file.
        path_ = folder / ("quellot-call-" + std::to_string(pid()) + "-" +
                          std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".out");
        if (std::fflush(stdout) != 0) throw refused("standard output cannot be written");
        saved_ = ::dup(1);
        if (saved_ < 0) throw refused("standard output is not open");
        const int fd = ::open(path_.string().c_str(), O_WRONLY | O_CREAT | O_TRUNC | temporary, 0600);
        if (fd < 0) throw refused("cannot make '" + path_.string() + "': " + std::strerror(errno));
        reader_ = ::open(path_.string().c_str(), O_RDONLY | binary | temporary);
        const int opened = errno;
#if !defined(_WIN32)
        ::unlink(path_.string().c_str());
#endif
        if (reader_ < 0 || ::dup2(fd, 1) < 0) {
            ::close(fd);
            throw refused("cannot read back '" + path_.string() + "': " + std::strerror(opened));
        }
        ::close(fd);
    }
    OutputCapture(const OutputCapture &) = delete;
    OutputCapture &operator=(const OutputCapture &) = delete;
    ~OutputCapture()
    {
        if (saved_ >= 0) {
            std::fflush(stdout);
            ::dup2(saved_, 1);
            ::close(saved_);
        }
        if (reader_ >= 0) ::close(reader_);
    }

    // What take() gives, after which standard output goes where it went
    // before the capture.
    std::string finish()
    {
        std::string text = reader_ >= 0 ? take() : std::string();
        if (saved_ >= 0) {
            ::dup2(saved_, 1);
            ::close(saved_);
            saved_ = -1;
        }
        return text;
    }

    // Everything written to standard output since the last take(). Refuses
    // (exit 4) when the writes did not all reach the file (a full disk).
    std::string take()
    {
        if (reader_ < 0) return {};
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            const std::string reason = std::strerror(errno);
            std::clearerr(stdout);
            throw refused("cannot write '" + path_.string() + "': " + reason);
        }
        // The size first, so that a capture is read straight into its room
        // (and a byte more, to meet its end without growing).
#if defined(_WIN32)
        const long long end = ::_lseeki64(reader_, 0, SEEK_END);
#else
        const long long end = ::lseek(reader_, 0, SEEK_END);
#endif
        std::string text(end > offset_ ? static_cast<size_t>(end - offset_) + 1 : size_t{1} << 12, '\0');
        // Seek before reading: msvcrt.dll's read returns nothing more once it
        // has met the end of a file, unless the file is sought.
#if defined(_WIN32)
        ::_lseeki64(reader_, offset_, SEEK_SET);
#else
        ::lseek(reader_, static_cast<off_t>(offset_), SEEK_SET);
#endif
        size_t have = 0;
        for (int n; (n = static_cast<int>(::read(reader_, text.data() + have,
                                                  static_cast<unsigned>(std::min(text.size() - have, most))))) > 0;)
            if ((have += static_cast<size_t>(n)) == text.size()) text.resize(2 * text.size());
        text.resize(have);
        offset_ += static_cast<long long>(have);
        return text;
    }

private:
#if defined(_WIN32)
    static constexpr int binary = O_BINARY;
    static constexpr int temporary = O_TEMPORARY;
    static int pid() { return _getpid(); }
#else
    static constexpr int binary = 0;
    static constexpr int temporary = 0;
    static int pid() { return static_cast<int>(getpid()); }
#endif
    static constexpr size_t most = size_t{1} << 30; // bytes a read asks for
    std::filesystem::path path_;
    int saved_ = -1;
    int reader_ = -1;
    long long offset_ = 0;

    static Failure refused(const std::string &reason)
    {
        return {exit_host, "cannot capture the reference's output: " + reason};
    }
};
