// The least a touch program can be: parse MMddhhmmyyyy.ss as local time and
// set it, nothing checked. Linked statically, so that its start is the
// kernel's work alone. The benchmark's floor starts it once per file.

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

static int Digits(const char* p, int count)
{
    int value = 0;
    for (int i = 0; i < count; ++i)
        value = value * 10 + (p[i] - '0');
    return value;
}

int main(int argc, char** argv)
{
    if (argc != 4)
        return 1;
    const char* t = argv[2];
    struct tm local = {};
    local.tm_mon = Digits(t, 2) - 1;
    local.tm_mday = Digits(t + 2, 2);
    local.tm_hour = Digits(t + 4, 2);
    local.tm_min = Digits(t + 6, 2);
    local.tm_year = Digits(t + 8, 4) - 1900;
    local.tm_sec = Digits(t + 13, 2);
    local.tm_isdst = -1;
    struct timespec times[2];
    times[0].tv_sec = mktime(&local);
    times[0].tv_nsec = 0;
    times[1] = times[0];
    return utimensat(AT_FDCWD, argv[3], times, 0) == 0 ? 0 : 1;
}
