// Local time and file times: FILETIME counts 100-nanosecond intervals since
// 1601-01-01, as on Windows.
#include <sys/stat.h>
#include <time.h>

#include <cstdint>

#include "platform/portable/platform_internal.h"
#include "platform/win32.h"

namespace {

constexpr int64_t kIntervalsPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;

FILETIME FromUnixTime(int64_t seconds, int64_t nanoseconds)
{
    const uint64_t intervals =
        static_cast<uint64_t>((seconds + kSecondsFrom1601To1970) * kIntervalsPerSecond + nanoseconds / 100);
    return {static_cast<DWORD>(intervals), static_cast<DWORD>(intervals >> 32)};
}

int64_t ToUnixSeconds(const FILETIME &time)
{
    const uint64_t intervals = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<int64_t>(intervals / kIntervalsPerSecond) - kSecondsFrom1601To1970;
}

SYSTEMTIME FromTm(const struct tm &t, int milliseconds)
{
    SYSTEMTIME s;
    s.wYear = static_cast<WORD>(t.tm_year + 1900);
    s.wMonth = static_cast<WORD>(t.tm_mon + 1);
    s.wDayOfWeek = static_cast<WORD>(t.tm_wday);
    s.wDay = static_cast<WORD>(t.tm_mday);
    s.wHour = static_cast<WORD>(t.tm_hour);
    s.wMinute = static_cast<WORD>(t.tm_min);
    s.wSecond = static_cast<WORD>(t.tm_sec);
    s.wMilliseconds = static_cast<WORD>(milliseconds);
    return s;
}

}  // namespace

extern "C" {

void WINAPI GetLocalTime(LPSYSTEMTIME time)
{
    if (time == nullptr) return;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local;
    const time_t seconds = now.tv_sec;
    localtime_r(&seconds, &local);
    *time = FromTm(local, static_cast<int>(now.tv_nsec / 1000000));
}

BOOL WINAPI GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME access, LPFILETIME write)
{
    const int fd = DescriptorOfHandle(file);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) return FALSE;
    if (creation) *creation = FromUnixTime(info.st_ctim.tv_sec, info.st_ctim.tv_nsec);
    if (access) *access = FromUnixTime(info.st_atim.tv_sec, info.st_atim.tv_nsec);
    if (write) *write = FromUnixTime(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
    return TRUE;
}

BOOL WINAPI FileTimeToLocalFileTime(const FILETIME *utc, LPFILETIME local)
{
    if (utc == nullptr || local == nullptr) return FALSE;
    const time_t seconds = static_cast<time_t>(ToUnixSeconds(*utc));
    struct tm t;
    if (localtime_r(&seconds, &t) == nullptr) return FALSE;
    const uint64_t intervals = ((static_cast<uint64_t>(utc->dwHighDateTime) << 32) | utc->dwLowDateTime) +
                               static_cast<uint64_t>(static_cast<int64_t>(t.tm_gmtoff) * kIntervalsPerSecond);
    *local = {static_cast<DWORD>(intervals), static_cast<DWORD>(intervals >> 32)};
    return TRUE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME *time, LPSYSTEMTIME system)
{
    if (time == nullptr || system == nullptr) return FALSE;
    const time_t seconds = static_cast<time_t>(ToUnixSeconds(*time));
    struct tm t;
    if (gmtime_r(&seconds, &t) == nullptr) return FALSE;
    const uint64_t intervals = (static_cast<uint64_t>(time->dwHighDateTime) << 32) | time->dwLowDateTime;
    *system = FromTm(t, static_cast<int>((intervals % kIntervalsPerSecond) / 10000));
    return TRUE;
}

}  // extern "C"
