#include <cstring>
#include <iterator>

#include "common/text.h"
#include "host/messages.h"
#include "paths.h"
#include "platform/platform.h"

namespace {

// A path being built in a 512-byte buffer; once something did not fit the
// whole build is refused.
struct PathBuilder {
  char* out;
  size_t used;
  bool fits;
};

void Put(PathBuilder* b, const char* text, size_t length) {
  if (!b->fits) return;
  if (length >= 512 - b->used) {
    b->fits = false;
    return;
  }
  std::memcpy(b->out + b->used, text, length);
  b->used += length;
  b->out[b->used] = 0;
}

// One part of a mask (base or extension) against the same part of the
// source name: "*" the whole part, "?" its character at that position.
void PutMasked(PathBuilder* b, const char* mask, size_t maskLength, const char* part,
               size_t partLength) {
  for (size_t i = 0; i < maskLength; ++i) {
    if (mask[i] == '*') {
      Put(b, part, partLength);
    } else if (mask[i] == '?') {
      if (i < partLength) Put(b, part + i, 1);
    } else {
      Put(b, mask + i, 1);
    }
  }
}

const char* LastComponent(const char* path) {
  const char* slash = std::strrchr(path, '\\');
  return slash ? slash + 1 : path;
}

// Wildcards in a folder part, or "|<>" anywhere: no such path can be made.
bool IsValidDestination(const char* destination) {
  if (std::strpbrk(destination, "|<>")) return false;
  const char* name = LastComponent(destination);
  for (const char* p = destination; p < name; ++p)
    if (*p == '*' || *p == '?') return false;
  return true;
}

void ApplyMask(PathBuilder* b, const char* sourceName, const char* destination) {
  const char* mask = LastComponent(destination);
  Put(b, destination, static_cast<size_t>(mask - destination));

  const char* dot = std::strrchr(sourceName, '.');
  size_t baseLength = dot ? static_cast<size_t>(dot - sourceName) : std::strlen(sourceName);
  const char* extension = dot ? dot + 1 : "";
  const char* maskDot = std::strrchr(mask, '.');
  size_t maskBaseLength = maskDot ? static_cast<size_t>(maskDot - mask) : std::strlen(mask);
  const char* maskExtension = maskDot ? maskDot + 1 : "";

  PutMasked(b, mask, maskBaseLength, sourceName, baseLength);
  if (*maskExtension) {
    Put(b, ".", 1);
    PutMasked(b, maskExtension, std::strlen(maskExtension), extension, std::strlen(extension));
  }
}

int Refuse(DWORD error) {
  platform::SetLastError(error);
  return 0;
}

}  // namespace

int DestinationPath(const char* source, const char* destination, char* out) {
  out[0] = 0;
  const char* sourceName = LastComponent(source);
  if (!*sourceName || !*destination || !IsValidDestination(destination))
    return Refuse(ERROR_INVALID_NAME);

  char result[512] = "";
  PathBuilder b{result, 0, true};
  size_t destinationLength = strnlen(destination, 512);
  if (destinationLength == 512) return Refuse(ERROR_FILENAME_EXCED_RANGE);
  DWORD attributes = platform::GetFileAttributesA(destination);

  if (destination[destinationLength - 1] == '\\') {
    Put(&b, destination, destinationLength);
    Put(&b, sourceName, std::strlen(sourceName));
  } else if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    Put(&b, destination, destinationLength);
    // A folder copied onto itself maps to itself; the scan then lists nothing.
    if (CompareFileNames(source, destination) != 0) {
      Put(&b, "\\", 1);
      Put(&b, sourceName, std::strlen(sourceName));
    }
  } else {
    ApplyMask(&b, sourceName, destination);
  }

  if (!b.fits) return Refuse(ERROR_FILENAME_EXCED_RANGE);
  // A mask that leaves no name would name the folder instead of the item.
  if (b.used == 0 || result[b.used - 1] == '\\') return Refuse(ERROR_INVALID_NAME);
  std::memcpy(out, result, b.used + 1);
  return 1;
}

void CreateParentDirectories(const char* path) {
  char work[512];
  if (!CopyText(work, sizeof work, path)) return;
  for (size_t i = 0; work[i]; ++i) {
    char c = work[i];
    // No folder of such a name can be made, nor any below it.
    if (c == '*' || c == '?' || c == '|' || c == '<' || c == '>') return;
    if (c != '\\') continue;
    work[i] = 0;
    platform::CreateDirectoryA(work, nullptr);  // exists already, or a drive: no matter
    work[i] = '\\';
  }
}

bool AskContinue(const char* text) {
  const char* lines[] = {Msg(MsgWarningTitle), text, Msg(MsgWarningQuestion), "\x01",
                         Msg(MsgYes),          Msg(MsgNo)};
  return Host.Message(Host.ModuleNumber, MessageWarning, nullptr, lines,
                      static_cast<int>(std::size(lines)), 2) == 0;
}
