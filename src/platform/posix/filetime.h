// FILETIME (100 ns since 1601, UTC) and Linux times. Internal to
// src/platform/posix.
#pragma once

#include <ctime>

#include "../platform.h"

namespace platform::detail {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr long long kEpochDifference = 11644473600LL;

inline FILETIME FileTimeOf(const timespec& t) {
  unsigned long long ticks =
      static_cast<unsigned long long>(t.tv_sec + kEpochDifference) * 10000000ULL +
      static_cast<unsigned long long>(t.tv_nsec) / 100;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

inline timespec TimespecOf(const FILETIME& f) {
  unsigned long long ticks =
      (static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
  timespec t;
  t.tv_sec = static_cast<time_t>(ticks / 10000000ULL) - kEpochDifference;
  t.tv_nsec = static_cast<long>(ticks % 10000000ULL) * 100;
  return t;
}

}  // namespace platform::detail
