// Sends the process's standard output (file descriptor 1) to a temporary file
// for as long as a capture lasts, so that the host can read back the exact
// bytes the probes hand to the C runtime's stream, in the stream's own mode.
#pragma once

#include <cstdint>
#include <cstdio>
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
    OutputCapture()
    {
        std::error_code error;
        // The process and the object name the file, so that a capture made
        // while another is running does not take over the other's file.
        path_ = std::filesystem::temp_directory_path(error) /
                ("quellot-call-" + std::to_string(pid()) + "-" +
                 std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".out");
        std::fflush(stdout);
        saved_ = ::dup(1);
        const int fd = ::open(path_.string().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        reader_ = ::open(path_.string().c_str(), O_RDONLY | binary);
        if (error || saved_ < 0 || fd < 0 || reader_ < 0 || ::dup2(fd, 1) < 0)
            throw Failure{exit_usage, "cannot capture standard output in '" + path_.string() + "'"};
        ::close(fd);
    }
    OutputCapture(const OutputCapture &) = delete;
    OutputCapture &operator=(const OutputCapture &) = delete;
    ~OutputCapture()
    {
        finish();
        if (reader_ >= 0) ::close(reader_);
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }

    // What take() gives, after which standard output goes where it went
    // before the capture.
    std::string finish()
    {
        std::string text = take();
        if (saved_ >= 0) {
            ::dup2(saved_, 1);
            ::close(saved_);
            saved_ = -1;
        }
        return text;
    }

    // Everything written to standard output since the last take().
    std::string take()
    {
        if (reader_ < 0) return {};
        std::fflush(stdout);
        std::string text;
        char buffer[4096];
        // Seek before reading: msvcrt.dll's read returns nothing more once it
        // has met the end of a file, unless the file is sought.
        ::lseek(reader_, offset_, SEEK_SET);
        for (int n; (n = static_cast<int>(::read(reader_, buffer, sizeof buffer))) > 0;)
            text.append(buffer, static_cast<size_t>(n));
        offset_ += static_cast<long>(text.size());
        return text;
    }

private:
#if defined(_WIN32)
    static constexpr int binary = O_BINARY;
    static int pid() { return _getpid(); }
#else
    static constexpr int binary = 0;
    static int pid() { return static_cast<int>(getpid()); }
#endif
    std::filesystem::path path_;
    int saved_ = -1;
    int reader_ = -1;
    long offset_ = 0;
};
