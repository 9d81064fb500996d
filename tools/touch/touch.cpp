// touch.exe -t MMddhhmmyyyy.ss FILE
//
// Sets FILE's modification and access time to the given local time. The dialog
// starts it once per copied file, so it stays free of Qt and starts quickly.
// It never creates FILE: a copy that went missing must not come back empty.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#include <sys/stat.h>
#include <sys/utime.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace {

const char* const usage = "usage: touch.exe -t MMddhhmmyyyy.ss FILE";

// Keeps every message on one line whatever the arguments contain.
std::string Printable(const char* text)
{
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        out += (*p < 0x20 || *p == 0x7f) ? '?' : static_cast<char>(*p);
    }
    return out;
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "touch: %s\n", message.c_str());
    return 1;
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

bool To_Local(std::time_t t, std::tm* out)
{
#ifdef _WIN32
    return localtime_s(out, &t) == 0;
#else
    return localtime_r(&t, out) != nullptr;
#endif
}

// Parses MMddhhmmyyyy.ss as local time. On failure returns false with the reason.
bool Parse_Time(const char* text, std::time_t* result, std::string* reason)
{
    const std::size_t length = std::strlen(text);
    bool well_formed = length == 15 && text[12] == '.';
    for (std::size_t i = 0; well_formed && i < length; ++i) {
        well_formed = i == 12 || (text[i] >= '0' && text[i] <= '9');
    }
    if (!well_formed) {
        *reason = "expected MMddhhmmyyyy.ss";
        return false;
    }
    const int month = Two_Digits(text);
    const int day = Two_Digits(text + 2);
    const int hour = Two_Digits(text + 4);
    const int minute = Two_Digits(text + 6);
    const int year = Two_Digits(text + 8) * 100 + Two_Digits(text + 10);
    const int second = Two_Digits(text + 13);
    if (year < 1900) {
        *reason = "year before 1900";
        return false;
    }
    if (month < 1 || month > 12) {
        *reason = "no such month";
        return false;
    }
    if (day < 1 || day > Days_In_Month(month, year)) {
        *reason = "no such day in that month";
        return false;
    }
    if (hour > 23 || minute > 59 || second > 59) {
        *reason = "no such time of day";
        return false;
    }

    std::tm wanted{};
    wanted.tm_year = year - 1900;
    wanted.tm_mon = month - 1;
    wanted.tm_mday = day;
    wanted.tm_hour = hour;
    wanted.tm_min = minute;
    wanted.tm_sec = second;
    wanted.tm_isdst = -1;
    std::tm work = wanted;
    const std::time_t t = std::mktime(&work);

    // mktime moves a time skipped by a clock change to a neighbouring one, and its
    // error value -1 is also a real second; only converting back tells them apart.
    std::tm back{};
    if (!To_Local(t, &back) || back.tm_year != wanted.tm_year || back.tm_mon != wanted.tm_mon ||
        back.tm_mday != wanted.tm_mday || back.tm_hour != wanted.tm_hour ||
        back.tm_min != wanted.tm_min || back.tm_sec != wanted.tm_sec) {
        *reason = "no such local time";
        return false;
    }
    *result = t;
    return true;
}

#ifdef _WIN32
// Works on the UTF-16 command line so that any file name survives.
int Set_Time(std::time_t t, const std::string& shown_path)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 4) {
        return Fail("cannot read the command line");
    }
    struct _stat64 info;
    if (_wstat64(argv[3], &info) != 0) {
        const int error = errno;
        LocalFree(argv);
        return Fail("cannot touch '" + shown_path + "': " + std::strerror(error));
    }
    if (info.st_mode & _S_IFDIR) {
        LocalFree(argv);
        return Fail("cannot touch '" + shown_path + "': is a folder, not a file");
    }
    struct __utimbuf64 times;
    times.actime = t;
    times.modtime = t;
    const int done = _wutime64(argv[3], &times);
    const int error = errno;
    LocalFree(argv);
    if (done != 0) {
        return Fail("cannot set the time of '" + shown_path + "': " + std::strerror(error));
    }
    return 0;
}
#else
int Set_Time(std::time_t t, const char* path)
{
    const std::string shown_path = Printable(path);
    struct stat info;
    if (stat(path, &info) != 0) {
        return Fail("cannot touch '" + shown_path + "': " + std::strerror(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        return Fail("cannot touch '" + shown_path + "': is a folder, not a file");
    }
    // utimensat never creates the file, so a removal after the check above only
    // makes it fail.
    struct timespec times[2];
    times[0].tv_sec = t;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    if (utimensat(AT_FDCWD, path, times, 0) != 0) {
        return Fail("cannot set the time of '" + shown_path + "': " + std::strerror(errno));
    }
    // Some file systems silently clamp a time they cannot store; FAT keeps only
    // even seconds, which is close enough.
    if (stat(path, &info) != 0 || info.st_mtime < t - 2 || info.st_mtime > t + 2) {
        return Fail("cannot set the time of '" + shown_path +
                    "': the file system cannot hold that time");
    }
    return 0;
}
#endif

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4 || std::strcmp(argv[1], "-t") != 0) {
        return Fail(usage);
    }
    std::time_t t = 0;
    std::string reason;
    if (!Parse_Time(argv[2], &t, &reason)) {
        return Fail("invalid date '" + Printable(argv[2]) + "': " + reason);
    }
#ifdef _WIN32
    return Set_Time(t, Printable(argv[3]));
#else
    return Set_Time(t, argv[3]);
#endif
}
