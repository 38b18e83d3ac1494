#include "names.h"

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
