// Text at the system's door. The hosts keep paths and messages in UTF-8 (on
// Linux, the bytes as they are). Windows takes paths in wide characters: the
// ANSI ("A") functions lose every character outside the ANSI code page, and
// stop at 260 characters, beyond which a path needs the \\?\ prefix.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

#if defined(_WIN32)
// `text`, UTF-16, in the code page `code_page`.
inline std::string narrow(const std::wstring &text, UINT code_page)
{
    const int size = static_cast<int>(text.size());
    std::string result(
        static_cast<size_t>(WideCharToMultiByte(code_page, 0, text.data(), size, nullptr, 0, nullptr, nullptr)),
        '\0');
    WideCharToMultiByte(code_page, 0, text.data(), size, result.data(), static_cast<int>(result.size()), nullptr,
                        nullptr);
    return result;
}

// `text`, UTF-16, in UTF-8.
inline std::string utf8(const std::wstring &text)
{
    return narrow(text, CP_UTF8);
}

// `text`, UTF-8, in UTF-16.
inline std::wstring wide(const std::string &text)
{
    const int size = static_cast<int>(text.size());
    std::wstring result(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0)),
                        L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, result.data(), static_cast<int>(result.size()));
    return result;
}

// `text`, UTF-8, in the ANSI code page: the bytes that a C program's argv
// would have held for it.
inline std::string ansi(const std::string &text)
{
    return narrow(wide(text), CP_ACP);
}
#endif

// The path `text` (UTF-8) as the system takes it. On Windows a path to a
// file whose full form reaches 260 characters is made absolute and given
// the \\?\ prefix; a bare file name is left alone, so that the loader still
// searches for it.
inline std::filesystem::path system_path(const std::string &text)
{
#if defined(_WIN32)
    const std::wstring path = wide(text);
    if (path.find_first_of(L"\\/") == std::wstring::npos || path.starts_with(L"\\\\?\\")) return path;
    std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    full.resize(GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
    if (full.empty() || full.size() < MAX_PATH) return path;
    return full.starts_with(L"\\\\") ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
#else
    return text;
#endif
}

// Opens the file at `path` (UTF-8) for reading bytes, as fopen does.
inline std::FILE *open_for_reading(const std::string &path)
{
#if defined(_WIN32)
    return _wfopen(system_path(path).c_str(), L"rb");
#else
    return std::fopen(path.c_str(), "rb");
#endif
}

// Opens (or makes) the file at `path` (UTF-8) for writing bytes, as fopen does.
inline std::FILE *open_for_writing(const std::string &path)
{
#if defined(_WIN32)
    return _wfopen(system_path(path).c_str(), L"wb");
#else
    return std::fopen(path.c_str(), "wb");
#endif
}
