// libFuzzer target for the description-file reader and writer. Any bytes
// read as a description file must write back to a file that reads as the
// same table, writing that again must change nothing, and no byte the user
// wrote may be lost on the way (blanks, quotation marks and the '>' of
// continuation lines are the format's own and may change).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "describe/descriptions.h"

namespace {

// Live entries as "name\1text", kept lines as "\2line".
std::vector<std::string> Live(const DescriptionTable* table) {
  std::vector<std::string> out;
  for (int i = 0; i < table->count; ++i) {
    const char* name = table->pool + table->nameOffsets[i];
    if (*name == 0) continue;
    if (table->textOffsets[i] < 0)
      out.push_back(std::string("\2") + name);
    else
      out.push_back(std::string(name) + "\1" + (table->pool + table->textOffsets[i]));
  }
  return out;
}

// Null when the reader refuses the text.
DescriptionTable* Parse(const char* data, size_t size) {
  std::vector<char> buffer(data, data + size);
  buffer.push_back(0);
  DescriptionTable* table = NewDescriptions();
  if (table == nullptr) abort();
  if (!ParseDescriptions(table, buffer.data(), static_cast<DWORD>(size))) {
    FreeDescriptions(table);
    return nullptr;
  }
  return table;
}

std::string Image(const DescriptionTable* table) {
  DWORD size = 0;
  char* image = DescriptionImage(table, &size);
  if (image == nullptr) abort();
  std::string text(image, size);
  FreeDescriptionText(image);
  return text;
}

// How often each byte that is the user's own occurs.
std::vector<size_t> UserBytes(const char* data, size_t size) {
  std::vector<size_t> counts(256, 0);
  for (size_t i = 0; i < size; ++i) {
    unsigned char c = static_cast<unsigned char>(data[i]);
    if (c > 32 && c != '"' && c != '>') ++counts[c];
  }
  return counts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  const char* text = reinterpret_cast<const char*>(data);
  DescriptionTable* first = Parse(text, size);
  if (first == nullptr) {
    if (std::memchr(text, 0, size) == nullptr) abort();  // only a 0 byte is refused
    return 0;
  }
  std::string written = Image(first);
  DescriptionTable* second = Parse(written.data(), written.size());
  if (second == nullptr) abort();
  if (Live(first) != Live(second)) abort();
  if (Image(second) != written) abort();
  if (UserBytes(text, size) != UserBytes(written.data(), written.size())) abort();
  FreeDescriptions(first);
  FreeDescriptions(second);
  return 0;
}
