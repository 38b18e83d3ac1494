// File times, the calendar and the temporary folder on Linux.
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "../common/layer.h"
#include "paths.h"
#include "errors.h"
#include "filetime.h"

namespace platform {
namespace {

constexpr unsigned long long kTicksPerSecond = 10000000ULL;
constexpr long long kDaysFrom1601To1970 = detail::kEpochDifference / 86400;

unsigned long long TicksOf(const FILETIME& time) {
  return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME FileTimeOfTicks(unsigned long long ticks) {
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// Windows refuses times at or past 2^63 ticks (year 30828).
constexpr unsigned long long kLastTick = 0x7FFFFFFFFFFFFFFFULL;

}  // namespace

void GetSystemTimeAsFileTime(FILETIME* time) {
  if (detail::SystemTimeOverride(time)) return;
  timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  *time = detail::FileTimeOf(now);
}

LONG CompareFileTime(const FILETIME* a, const FILETIME* b) {
  unsigned long long x = TicksOf(*a), y = TicksOf(*b);
  return x < y ? -1 : x > y ? 1 : 0;
}

BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) {
  DWORD error;
  if (detail::Fault("FileTimeToLocalFileTime", nullptr, &error)) return detail::Fail(error);
  unsigned long long ticks = TicksOf(*utc);
  if (ticks > kLastTick) return detail::Fail(ERROR_INVALID_PARAMETER);
  // The offset in force at that instant: local fields read back as if UTC.
  time_t seconds = static_cast<time_t>(ticks / kTicksPerSecond) - detail::kEpochDifference;
  ::tzset();  // a zone changed since the last call counts
  tm fields;
  if (!::localtime_r(&seconds, &fields)) return detail::Fail(ERROR_INVALID_PARAMETER);
  long long offset = static_cast<long long>(::timegm(&fields)) - seconds;
  long long shifted =
      static_cast<long long>(ticks) + offset * static_cast<long long>(kTicksPerSecond);
  if (shifted < 0) return detail::Fail(ERROR_INVALID_PARAMETER);
  *local = FileTimeOfTicks(static_cast<unsigned long long>(shifted));
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* system) {
  DWORD error;
  if (detail::Fault("FileTimeToSystemTime", nullptr, &error)) return detail::Fail(error);
  unsigned long long ticks = TicksOf(*time);
  if (ticks > kLastTick) return detail::Fail(ERROR_INVALID_PARAMETER);
  unsigned long long seconds = ticks / kTicksPerSecond;
  long long days = static_cast<long long>(seconds / 86400);
  unsigned long long inDay = seconds % 86400;
  // The Gregorian date of a day count (H. Hinnant's civil_from_days), from
  // days since 1970-01-01 shifted to an era starting on 0000-03-01.
  long long z = days - kDaysFrom1601To1970 + 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long dayOfEra = z - era * 146097;
  long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  long long monthFromMarch = (5 * dayOfYear + 2) / 153;
  long long month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
  system->wYear = static_cast<WORD>(yearOfEra + era * 400 + (month <= 2));
  system->wMonth = static_cast<WORD>(month);
  system->wDay = static_cast<WORD>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  system->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
  system->wHour = static_cast<WORD>(inDay / 3600);
  system->wMinute = static_cast<WORD>(inDay / 60 % 60);
  system->wSecond = static_cast<WORD>(inDay % 60);
  system->wMilliseconds = static_cast<WORD>(ticks / 10000 % 1000);
  return TRUE;
}

DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer) {
  DWORD error;
  if (detail::Fault("GetTempPathA", nullptr, &error)) return detail::Fail(error);
  const char* variable = std::getenv("TMPDIR");
  std::string host = variable && variable[0] == '/' ? variable : "/tmp";
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  std::string path = detail::WindowsPathOfHost(host);
  if (path.back() != '\\') path += '\\';
  // GetFullPathNameA's rule: the length when it fits, else the size needed.
  if (!buffer || path.size() + 1 > bufferLength) return static_cast<DWORD>(path.size() + 1);
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return static_cast<DWORD>(path.size());
}

}  // namespace platform
