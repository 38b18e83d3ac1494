// Code pages and case: Linux has one code page, and folds ASCII only.
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

}  // namespace platform
