#include "text.h"

#include <cstring>

namespace {
int Lower(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u >= 'A' && u <= 'Z' ? u + ('a' - 'A') : u;
}
}  // namespace

bool CopyText(char* out, size_t capacity, const char* text) {
  if (capacity == 0) return false;
  size_t length = std::strlen(text);
  if (length >= capacity) {
    out[0] = 0;
    return false;
  }
  std::memcpy(out, text, length + 1);
  return true;
}

bool AppendText(char* out, size_t capacity, const char* text) {
  size_t used = strnlen(out, capacity);
  size_t length = std::strlen(text);
  if (used >= capacity || length >= capacity - used) return false;
  std::memcpy(out + used, text, length + 1);
  return true;
}

bool FormatWithText(char* out, size_t capacity, const char* format, const char* argument) {
  if (capacity == 0) return false;
  size_t argumentLength = std::strlen(argument);
  size_t used = 0;
  for (const char* p = format; *p; ++p) {
    const char* piece = p;
    size_t length = 1;
    if (p[0] == '%' && p[1] == 's') {
      piece = argument;
      length = argumentLength;
      ++p;
    } else if (p[0] == '%' && p[1] == '%') {
      ++p;
    }
    if (length >= capacity - used) {
      out[0] = 0;
      return false;
    }
    std::memcpy(out + used, piece, length);
    used += length;
  }
  out[used] = 0;
  return true;
}

int CompareNoCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int d = Lower(*a) - Lower(*b);
    if (d || !*a) return d;
  }
}

int CompareNoCaseN(const char* a, const char* b, size_t count) {
  for (; count; --count, ++a, ++b) {
    int d = Lower(*a) - Lower(*b);
    if (d || !*a) return d;
  }
  return 0;
}
