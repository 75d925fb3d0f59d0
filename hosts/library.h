// Loads a shared library at run time and resolves its exports: the one place
// where the hosts and tests meet the platform's dynamic loader.
#pragma once

#include <string>
#include <utility>

#include "system_text.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

class Library {
public:
    // Loads the library at `path` (UTF-8); on failure the result is empty
    // and `error` holds the loader's reason.
    static Library open(const std::string &path, std::string &error)
    {
#if defined(_WIN32)
        HMODULE handle = LoadLibraryW(system_path(path).c_str());
#else
        void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
        if (handle == nullptr) error = last_error();
        return Library(handle);
    }

    // The file that this program expects beside itself (UTF-8). The
    // program's own path may be longer than any fixed buffer: the buffer
    // grows until the whole path fits.
    static std::string beside_executable(const std::string &file_name)
    {
#if defined(_WIN32)
        std::wstring path(256, L'\0');
        for (;;) {
            const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
            if (n < path.size()) {
                path.resize(n);
                break;
            }
            path.resize(2 * path.size());
        }
        const std::string exe = utf8(path);
        const auto slash = exe.find_last_of("\\/");
#else
        std::string exe(256, '\0');
        for (;;) {
            const ssize_t n = readlink("/proc/self/exe", exe.data(), exe.size());
            if (n < static_cast<ssize_t>(exe.size())) {
                exe.resize(n > 0 ? static_cast<size_t>(n) : 0);
                break;
            }
            exe.resize(2 * exe.size());
        }
        const auto slash = exe.rfind('/');
#endif
        return slash == std::string::npos ? file_name : exe.substr(0, slash + 1) + file_name;
    }

    Library(Library &&other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;
    Library &operator=(Library &&) = delete;
    ~Library() { close(); }

    explicit operator bool() const { return handle_ != nullptr; }

    // Unloads the library now rather than at destruction.
    void close()
    {
        if (handle_ == nullptr) return;
#if defined(_WIN32)
        FreeLibrary(handle_);
#else
        dlclose(handle_);
#endif
        handle_ = nullptr;
    }

    // The export called `name`, as a function pointer of type F, or null
    // (and then last_error() says why).
    template <typename F>
    F function(const char *name) const
    {
#if defined(_WIN32)
        return reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(handle_, name)));
#else
        return reinterpret_cast<F>(dlsym(handle_, name));
#endif
    }

    // The loader's reason for the last load or look-up that failed.
    static std::string last_error()
    {
#if defined(_WIN32)
        const DWORD code = GetLastError();
        wchar_t *text = nullptr;
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
        std::string message = text != nullptr ? utf8(text) : "";
        LocalFree(text);
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                    message.back() == ' ' || message.back() == '.'))
            message.pop_back();
        return "error " + std::to_string(code) + (message.empty() ? "" : ": " + message);
#else
        const char *text = dlerror();
        return text != nullptr ? text : "unknown error";
#endif
    }

#if defined(_WIN32)
    // The export with the ordinal `ordinal`, or null.
    template <typename F>
    F function(unsigned ordinal) const
    {
        return reinterpret_cast<F>(reinterpret_cast<void *>(
            GetProcAddress(handle_, MAKEINTRESOURCEA(ordinal))));
    }

#endif

private:
#if defined(_WIN32)
    explicit Library(HMODULE handle) : handle_(handle) {}
    HMODULE handle_;
#else
    explicit Library(void *handle) : handle_(handle) {}
    void *handle_;
#endif
};
