#include "names.h"

#include <cstdio>
#include <cstring>


void ShortenPathLeft(const char* path, char* out, int n) {
  if (n < 0) n = 0;
  if (n > 511) n = 511;
  size_t length = std::strlen(path);
  size_t limit = static_cast<size_t>(n);
  if (length <= limit) {
    std::memcpy(out, path, length + 1);
    return;
  }
  std::memcpy(out, path + length - limit, limit + 1);
  for (size_t i = 0; i < 3 && i < limit; ++i) out[i] = '.';
}

bool NumberedName(const char* path, int n, char* out) {
  size_t length = std::strlen(path);
  size_t dot = length;  // no dot in the last component
  for (size_t i = length; i > 0; --i) {
    char c = path[i - 1];
    if (c == '\\') break;
    if (c == '.') {
      dot = i - 1;
      break;
    }
  }
  // Built aside so that out may be the path's own buffer.
  char result[512];
  int written;
  if (dot < length)
    written = std::snprintf(result, sizeof result, "%.*s_%d.%s", static_cast<int>(dot), path, n,
                            path + dot + 1);
  else
    written = std::snprintf(result, sizeof result, "%s_%d", path, n);
  if (written < 0 || static_cast<size_t>(written) >= sizeof result) {
    out[0] = 0;
    return false;
  }
  std::memcpy(out, result, static_cast<size_t>(written) + 1);
  return true;
}

bool NumberedNameExists(const char* path, int n) {
  if (n == 0) return platform::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
  char name[512];
  if (!NumberedName(path, n, name)) return false;
  return platform::GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
}

int FirstFreeName(const char* path, char* out) {
  int n = 0;
  while (NumberedNameExists(path, n)) ++n;
  if (n == 0) {
    size_t length = std::strlen(path);
    if (length > 511) {
      out[0] = 0;
      return -1;
    }
    std::memcpy(out, path, length + 1);
    return 0;
  }
  return NumberedName(path, n, out) ? n : -1;
}

bool TimeNotEarlier(const FILETIME& a, const FILETIME& b) {
  return platform::CompareFileTime(&a, &b) >= 0;
}

bool DestinationNotOlder(const char* path, const FILETIME& t) {
  WIN32_FIND_DATAA data;
  HANDLE find = platform::FindFirstFileA(path, &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  platform::FindClose(find);
  return TimeNotEarlier(data.ftLastWriteTime, t);
}

void FormatSize(uint64_t size, char* out) {
  char digits[32];
  int count = std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(size));
  if (count <= 0) count = 0;
  // Copied from the left: a comma goes before every digit whose remaining
  // count is a multiple of three, except the first.
  int o = 0;
  for (int i = 0; i < count; ++i) {
    if (i > 0 && (count - i) % 3 == 0) out[o++] = ',';
    out[o++] = digits[i];
  }
  out[o] = 0;
}

void FormatSizeKb(uint64_t size, char* out) { FormatSize(size / 1024, out); }

void FormatDateTime(const FILETIME& time, char* out) {
  FILETIME local;
  SYSTEMTIME t;
  if (!platform::FileTimeToLocalFileTime(&time, &local) ||
      !platform::FileTimeToSystemTime(&local, &t)) {
    out[0] = 0;
    return;
  }
  std::snprintf(out, 32, "%2.2d.%2.2d.%4.4d %2.2d:%2.2d", t.wDay, t.wMonth, t.wYear, t.wHour,
                t.wMinute);
}

void FormatFileLine(const char* label, const char* size, const char* date, char* out) {
  std::snprintf(out, 512, "%-17s%13s     %s", label, size, date);
}
