#ifndef DORVANE_LONGPATH_H
#define DORVANE_LONGPATH_H

// Windows only, and without Qt: touch.exe, which has no Qt, uses it too.

#include <string>
#include <windows.h>

// Without the \\?\ form Windows refuses paths of MAX_PATH characters and more.
// Short paths keep their usual meaning (trailing dots and blanks dropped).
inline std::wstring Long_Path(const std::wstring& path)
{
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    if (length == 0 || length >= size)
        return path;
    full.resize(length);
    if (full.size() < MAX_PATH || full.compare(0, 4, L"\\\\?\\") == 0 ||
        full.compare(0, 4, L"\\\\.\\") == 0)
        return full;
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

#endif
