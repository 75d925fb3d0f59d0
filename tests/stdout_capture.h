// What the tests do with standard output: capture it, as quellot-call does
// (OutputCapture, whose file is opened in the runtime's default mode, as a
// redirected standard output is, so on Windows the "\r\n" translation
// shows), make every write to it fail, and write text as the stream does.
#pragma once

#include <cstdio>
#include <string>

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "capture.h"

// Makes every write to standard output fail for as long as it lasts: on Linux
// standard output goes to /dev/full, on Windows it is closed.
class FailingStdout {
public:
    FailingStdout()
    {
        std::fflush(stdout);
        saved_ = ::dup(1);
#if defined(_WIN32)
        ::close(1);
#else
        const int fd = ::open("/dev/full", O_WRONLY);
        ::dup2(fd, 1);
        ::close(fd);
#endif
    }
    FailingStdout(const FailingStdout &) = delete;
    FailingStdout &operator=(const FailingStdout &) = delete;
    ~FailingStdout()
    {
        std::fflush(stdout);
        std::clearerr(stdout);
        ::dup2(saved_, 1);
        ::close(saved_);
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
