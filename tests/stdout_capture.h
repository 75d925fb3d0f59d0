// Sends the process's standard output (file descriptor 1) to a temporary file
// for as long as a capture lasts, and hands back every byte written meanwhile.
// The file is opened in the runtime's default (text) mode, as a redirected
// standard output is, so on Windows the "\r\n" translation shows.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#include <process.h>
#define capture_dup _dup
#define capture_dup2 _dup2
#define capture_close _close
#define capture_getpid _getpid
#else
#include <unistd.h>
#define capture_dup dup
#define capture_dup2 dup2
#define capture_close close
#define capture_getpid getpid
#endif

class StdoutCapture {
public:
    StdoutCapture()
        : path_(std::filesystem::temp_directory_path() /
                ("quellot-capture-" + std::to_string(capture_getpid()) + ".txt"))
    {
        std::fflush(stdout);
        saved_ = capture_dup(1);
        const int fd = ::open(path_.string().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        capture_dup2(fd, 1);
        capture_close(fd);
    }
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;
    ~StdoutCapture() { finish(); }

    // Ends the capture and returns what was written.
    std::string finish()
    {
        if (saved_ < 0) return text_;
        std::fflush(stdout);
        capture_dup2(saved_, 1);
        capture_close(saved_);
        saved_ = -1;
        {
            std::ifstream in(path_, std::ios::binary);
            text_.assign(std::istreambuf_iterator<char>(in), {});
        }
        std::filesystem::remove(path_);
        return text_;
    }

private:
    std::filesystem::path path_;
    int saved_ = -1;
    std::string text_;
};

// Makes every write to standard output fail for as long as it lasts: on Linux
// standard output goes to /dev/full, on Windows it is closed.
class FailingStdout {
public:
    FailingStdout()
    {
        std::fflush(stdout);
        saved_ = capture_dup(1);
#if defined(_WIN32)
        capture_close(1);
#else
        const int fd = ::open("/dev/full", O_WRONLY);
        capture_dup2(fd, 1);
        capture_close(fd);
#endif
    }
    FailingStdout(const FailingStdout &) = delete;
    FailingStdout &operator=(const FailingStdout &) = delete;
    ~FailingStdout()
    {
        std::fflush(stdout);
        std::clearerr(stdout);
        capture_dup2(saved_, 1);
        capture_close(saved_);
    }

private:
    int saved_ = -1;
};

// `text` as the standard-output stream writes it: text mode on Windows turns
// every line feed into a carriage return and a line feed.
inline std::string as_written(std::string text)
{
#if defined(_WIN32)
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
        text.replace(at, 1, "\r\n");
#endif
    return text;
}
