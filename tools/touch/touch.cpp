// touch.exe -t MMddhhmmyyyy.ss FILE
//
// Sets FILE's modification and access time to the given local time. The dialog
// starts it once per copied file, so it stays free of Qt and starts quickly.
// It never creates FILE: a copy that went missing must not come back empty.
// It reads the time back, so a time that the file system cannot hold is an
// error, not a success.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include "longpath.h"

#include <windows.h>

#include <shellapi.h>
#else
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace {

const char* const usage = "usage: touch.exe -t MMddhhmmyyyy.ss FILE";

struct TLocalTime
{
    int year, month, day, hour, minute, second;
};

// Keeps every message on one line whatever the arguments contain.
std::string Printable(const std::string& text)
{
    std::string out = text;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    }
    return out;
}

int Two_Digits(const char* p)
{
    return (p[0] - '0') * 10 + (p[1] - '0');
}

bool Is_Leap_Year(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int Days_In_Month(int month, int year)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && Is_Leap_Year(year) ? 29 : days[month - 1];
}

// Parses MMddhhmmyyyy.ss. Whether that local time exists is the platform's part.
bool Parse_Time(const std::string& text, TLocalTime* when, std::string* reason)
{
    bool well_formed = text.size() == 15 && text[12] == '.';
    for (std::size_t i = 0; well_formed && i < text.size(); ++i)
        well_formed = i == 12 || (text[i] >= '0' && text[i] <= '9');
    if (!well_formed) {
        *reason = "expected MMddhhmmyyyy.ss";
        return false;
    }
    const char* p = text.c_str();
    *when = {Two_Digits(p + 8) * 100 + Two_Digits(p + 10),
             Two_Digits(p),
             Two_Digits(p + 2),
             Two_Digits(p + 4),
             Two_Digits(p + 6),
             Two_Digits(p + 13)};
    if (when->year < 1900) {
        *reason = "year before 1900";
        return false;
    }
    if (when->month < 1 || when->month > 12) {
        *reason = "no such month";
        return false;
    }
    if (when->day < 1 || when->day > Days_In_Month(when->month, when->year)) {
        *reason = "no such day in that month";
        return false;
    }
    if (when->hour > 23 || when->minute > 59 || when->second > 59) {
        *reason = "no such time of day";
        return false;
    }
    return true;
}

#ifdef _WIN32

// One 100-ns tick of a FILETIME, in seconds.
const long long ticks_per_second = 10000000;

std::string Utf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                            nullptr, nullptr);
    return out;
}

// Messages are UTF-8 on a pipe or file, and wide on a console, so that every
// name reads as it is, not in the ANSI code page.
int Fail(const std::string& message)
{
    const std::string line = "touch: " + message + "\n";
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(error, &mode)) {
        const int size = MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 1), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, &wide[0], size);
        DWORD written = 0;
        WriteConsoleW(error, wide.c_str(), static_cast<DWORD>(wide.size() - 1), &written, nullptr);
    } else {
        std::fputs(line.c_str(), stderr);
    }
    return 1;
}

// The texts of the common cases match those of the other platforms.
std::string Error_Text(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "No such file or directory";
    case ERROR_ACCESS_DENIED:
        return "Permission denied";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return "the file is in use";
    default:
        break;
    }
    wchar_t* text = nullptr;
    const DWORD size = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = size > 0 ? Utf8(std::wstring(text, size)) : std::string();
    LocalFree(text);
    while (!out.empty() && (out.back() == '.' || static_cast<unsigned char>(out.back()) <= ' '))
        out.pop_back();
    return Printable(out) + " (error " + std::to_string(code) + ")";
}

// The UTF-16 command line, so that any file name survives.
std::vector<std::wstring> Wide_Arguments()
{
    std::vector<std::wstring> out;
    int count = 0;
    wchar_t** list = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; list != nullptr && i < count; ++i)
        out.emplace_back(list[i]);
    LocalFree(list);
    return out;
}

// Uses the Windows time zone with the rules of the year in question; a TZ
// variable, which only the C runtime reads, is ignored. A local time skipped
// by a clock change does not convert back.
bool To_File_Time(const TLocalTime& when, FILETIME* result, std::string* reason)
{
    *reason = "no such local time";
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(when.year);
    local.wMonth = static_cast<WORD>(when.month);
    local.wDay = static_cast<WORD>(when.day);
    local.wHour = static_cast<WORD>(when.hour);
    local.wMinute = static_cast<WORD>(when.minute);
    local.wSecond = static_cast<WORD>(when.second);
    TIME_ZONE_INFORMATION zone{};
    SYSTEMTIME utc{};
    SYSTEMTIME back{};
    if (!GetTimeZoneInformationForYear(local.wYear, nullptr, &zone) ||
        !TzSpecificLocalTimeToSystemTime(&zone, &local, &utc) ||
        !SystemTimeToTzSpecificLocalTime(&zone, &utc, &back) || !SystemTimeToFileTime(&utc, result))
        return false;
    return back.wYear == local.wYear && back.wMonth == local.wMonth && back.wDay == local.wDay &&
           back.wHour == local.wHour && back.wMinute == local.wMinute &&
           back.wSecond == local.wSecond;
}

long long Ticks(const FILETIME& t)
{
    return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                  t.dwLowDateTime);
}

HANDLE Open_Attributes(const std::wstring& path)
{
    return CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int Set_Time(const FILETIME& t, const std::wstring& argument, const std::string& shown_path)
{
    const std::wstring path = Long_Path(argument);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Fail("cannot touch '" + shown_path + "': " + Error_Text(GetLastError()));
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return Fail("cannot touch '" + shown_path + "': is a folder, not a file");
    // Setting a time needs no write access, so a read-only copy takes it too.
    // Some file systems (Wine's, shares that keep the attribute as a permission)
    // refuse it all the same; there the attribute is lifted while the time is
    // set. OPEN_EXISTING: a file removed after the check above is not created.
    HANDLE file = Open_Attributes(path);
    DWORD error = GetLastError();
    const bool lifted =
        file == INVALID_HANDLE_VALUE && error == ERROR_ACCESS_DENIED &&
        (attributes & FILE_ATTRIBUTE_READONLY) &&
        SetFileAttributesW(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    if (lifted) {
        file = Open_Attributes(path);
        error = GetLastError();
    }
    bool set = false;
    if (file != INVALID_HANDLE_VALUE) {
        set = SetFileTime(file, nullptr, &t, &t) != 0;
        error = GetLastError();
        CloseHandle(file);
    }
    if (lifted && !SetFileAttributesW(path.c_str(), attributes))
        return Fail("cannot set the time of '" + shown_path +
                    "': the file is no longer read-only: " + Error_Text(GetLastError()));
    if (!set)
        return Fail("cannot set the time of '" + shown_path + "': " + Error_Text(error));
    // FAT keeps only even seconds, which is close enough; anything further off
    // was clamped by the file system.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        Ticks(data.ftLastWriteTime) < Ticks(t) - 2 * ticks_per_second ||
        Ticks(data.ftLastWriteTime) > Ticks(t) + 2 * ticks_per_second)
        return Fail("cannot set the time of '" + shown_path +
                    "': the file system cannot hold that time");
    return 0;
}

#else

int Fail(const std::string& message)
{
    std::fprintf(stderr, "touch: %s\n", message.c_str());
    return 1;
}

bool To_Time(const TLocalTime& when, std::time_t* result, std::string* reason)
{
    *reason = "no such local time";
    std::tm wanted{};
    wanted.tm_year = when.year - 1900;
    wanted.tm_mon = when.month - 1;
    wanted.tm_mday = when.day;
    wanted.tm_hour = when.hour;
    wanted.tm_min = when.minute;
    wanted.tm_sec = when.second;
    wanted.tm_isdst = -1;
    std::tm work = wanted;
    const std::time_t t = std::mktime(&work);

    // mktime moves a time skipped by a clock change to a neighbouring one, and its
    // error value -1 is also a real second; only converting back tells them apart.
    std::tm back{};
    if (localtime_r(&t, &back) == nullptr || back.tm_year != wanted.tm_year ||
        back.tm_mon != wanted.tm_mon || back.tm_mday != wanted.tm_mday ||
        back.tm_hour != wanted.tm_hour || back.tm_min != wanted.tm_min ||
        back.tm_sec != wanted.tm_sec)
        return false;
    *result = t;
    return true;
}

int Set_Time(std::time_t t, const char* path, const std::string& shown_path)
{
    struct stat info;
    if (stat(path, &info) != 0)
        return Fail("cannot touch '" + shown_path + "': " + std::strerror(errno));
    if (S_ISDIR(info.st_mode))
        return Fail("cannot touch '" + shown_path + "': is a folder, not a file");
    // utimensat never creates the file, so a removal after the check above only
    // makes it fail.
    struct timespec times[2];
    times[0].tv_sec = t;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    if (utimensat(AT_FDCWD, path, times, 0) != 0)
        return Fail("cannot set the time of '" + shown_path + "': " + std::strerror(errno));
    // Some file systems silently clamp a time they cannot store; FAT keeps only
    // even seconds, which is close enough.
    if (stat(path, &info) != 0 || info.st_mtime < t - 2 || info.st_mtime > t + 2)
        return Fail("cannot set the time of '" + shown_path +
                    "': the file system cannot hold that time");
    return 0;
}

#endif

} // namespace

int main([[maybe_unused]] int argc, [[maybe_unused]] char** argv)
{
#ifdef _WIN32
    const std::vector<std::wstring> wide = Wide_Arguments();
    std::vector<std::string> arguments;
    for (const std::wstring& argument : wide)
        arguments.push_back(Utf8(argument));
#else
    const std::vector<std::string> arguments(argv, argv + argc);
#endif
    if (arguments.size() != 4 || arguments[1] != "-t")
        return Fail(usage);
    TLocalTime when{};
    std::string reason;
#ifdef _WIN32
    FILETIME t{};
    const bool valid = Parse_Time(arguments[2], &when, &reason) && To_File_Time(when, &t, &reason);
#else
    std::time_t t = 0;
    const bool valid = Parse_Time(arguments[2], &when, &reason) && To_Time(when, &t, &reason);
#endif
    if (!valid)
        return Fail("invalid date '" + Printable(arguments[2]) + "': " + reason);
#ifdef _WIN32
    return Set_Time(t, wide[3], Printable(arguments[3]));
#else
    return Set_Time(t, arguments[3].c_str(), Printable(arguments[3]));
#endif
}
