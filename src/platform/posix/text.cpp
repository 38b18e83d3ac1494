// Code pages and case: Linux has one code page, and folds ASCII only.
#include <cstdint>
#include <cstring>

#include "../common/layer.h"
#include "errors.h"

namespace platform {

BOOL OemToCharA(LPCSTR source, LPSTR destination) {
  if (!source || !destination) return detail::Fail(ERROR_INVALID_PARAMETER);
  std::memmove(destination, source, std::strlen(source) + 1);  // in place is allowed
  return TRUE;
}

BOOL CharToOemBuffA(LPCSTR source, LPSTR destination, DWORD length) {
  if (!source || !destination) return detail::Fail(ERROR_INVALID_PARAMETER);
  std::memmove(destination, source, length);
  return TRUE;
}

int lstrcmpiA(LPCSTR a, LPCSTR b) {
  // As Windows: null sorts before any string.
  if (!a || !b) return a ? 1 : b ? -1 : 0;
  for (;; ++a, ++b) {
    int x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
    if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
    if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
}

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

bool IsUtf8Page(UINT codePage) {
  return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_UTF8;
}

// The character at s[*i] of an n-byte text, advancing *i past it. A byte
// that starts no well-formed sequence gives U+FFFD, and so does the longest
// start of one that breaks off (one U+FFFD for the lot, as Windows counts).
uint32_t DecodeUtf8(const unsigned char* s, size_t n, size_t* i) {
  unsigned char b = s[(*i)++];
  if (b < 0x80) return b;
  int more = b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : -1;
  if (more < 0) return kReplacement;
  // The second byte's range also rules out overlong forms, surrogates and
  // code points past U+10FFFF.
  unsigned char low = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
  unsigned char high = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
  uint32_t c = b & (0x3F >> more);
  for (int k = 0; k < more; ++k) {
    if (*i >= n || s[*i] < (k == 0 ? low : 0x80) || s[*i] > (k == 0 ? high : 0xBF))
      return kReplacement;
    c = (c << 6) | (s[(*i)++] & 0x3F);
  }
  return c;
}

// Stores `c` at out[*count] (when out is given and there is room), counting
// the units either way; false when out is given and full.
template <typename Unit>
bool Put(Unit* out, int size, int* count, Unit unit) {
  if (out) {
    if (*count >= size) return false;
    out[*count] = unit;
  }
  ++*count;
  return true;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR source, int sourceLength,
                        WCHAR* destination, int destinationSize) {
  DWORD error;
  if (detail::Fault("MultiByteToWideChar", nullptr, &error)) return detail::Fail(error);
  if (!IsUtf8Page(codePage) || !source || sourceLength == 0 || sourceLength < -1 ||
      destinationSize < 0)
    return detail::Fail(ERROR_INVALID_PARAMETER);
  size_t n = sourceLength == -1 ? std::strlen(source) + 1 : static_cast<size_t>(sourceLength);
  const auto* s = reinterpret_cast<const unsigned char*>(source);
  WCHAR* out = destinationSize ? destination : nullptr;
  int count = 0;
  for (size_t i = 0; i < n;) {
    uint32_t c = DecodeUtf8(s, n, &i);
    bool stored = c < 0x10000
                      ? Put<WCHAR>(out, destinationSize, &count, static_cast<WCHAR>(c))
                      : Put<WCHAR>(out, destinationSize, &count,
                                   static_cast<WCHAR>(0xD800 + ((c - 0x10000) >> 10))) &&
                            Put<WCHAR>(out, destinationSize, &count,
                                       static_cast<WCHAR>(0xDC00 + (c & 0x3FF)));
    if (!stored) return detail::Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  return count;
}

int WideCharToMultiByte(UINT codePage, DWORD, const WCHAR* source, int sourceLength,
                        LPSTR destination, int destinationSize, LPCSTR, BOOL*) {
  DWORD error;
  if (detail::Fault("WideCharToMultiByte", nullptr, &error)) return detail::Fail(error);
  if (!IsUtf8Page(codePage) || !source || sourceLength == 0 || sourceLength < -1 ||
      destinationSize < 0)
    return detail::Fail(ERROR_INVALID_PARAMETER);
  size_t n = static_cast<size_t>(sourceLength);
  if (sourceLength == -1) {
    n = 0;
    while (source[n]) ++n;
    ++n;  // with the terminator
  }
  char* out = destinationSize ? destination : nullptr;
  int count = 0;
  for (size_t i = 0; i < n; ++i) {
    uint32_t c = source[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && source[i + 1] >= 0xDC00 &&
        source[i + 1] <= 0xDFFF)
      c = 0x10000 + ((c - 0xD800) << 10) + (source[++i] - 0xDC00);
    else if (c >= 0xD800 && c <= 0xDFFF)
      c = kReplacement;
    char bytes[4];
    int length = 0;
    if (c < 0x80) {
      bytes[length++] = static_cast<char>(c);
    } else {
      int more = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
      const unsigned lead[] = {0, 0xC0, 0xE0, 0xF0};
      bytes[length++] = static_cast<char>(lead[more] | (c >> (6 * more)));
      for (int k = more - 1; k >= 0; --k)
        bytes[length++] = static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
    }
    for (int k = 0; k < length; ++k)
      if (!Put<char>(out, destinationSize, &count, bytes[k]))
        return detail::Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  return count;
}

}  // namespace platform
