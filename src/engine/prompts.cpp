#include "prompts.h"

#include <cstring>

#include "common/run_state.h"
#include "host/messages.h"

std::atomic<bool> RunStopping{false};

namespace {

constexpr size_t kTextSize = 512;
// A system line is ended at the first space (or the end) past this many
// characters from its start.
constexpr int kLineWidth = 40;
// The host's Message draws an item of this single byte as a line.
constexpr const char* kSeparator = "\x01";

bool IsTrailingJunk(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u <= 0x20 || c == '.';
}

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

// Drops the line breaks inside the text; a break between two words leaves
// one space so that the words stay apart.
void JoinLines(char* text) {
  size_t write = 0;
  for (size_t read = 0; text[read];) {
    if (!IsLineBreak(text[read])) {
      text[write++] = text[read++];
      continue;
    }
    size_t end = read;
    while (IsLineBreak(text[end])) ++end;
    if (write > 0 && text[write - 1] != ' ' && text[end] != 0 && text[end] != ' ')
      text[write++] = ' ';
    read = end;
  }
  text[write] = 0;
}

// Shows one box under ScreenLock: title, [file name, separator,] message,
// the system text for `error`, separator, buttons.
int ShowBox(DWORD error, const char* message, const char* fileName, bool retrySkip) {
  bool held;
  if (!TakeScreen(&held)) return -1;

  char text[kTextSize];
  const char* items[PromptItemCapacity];
  int count = 0;
  items[count++] = Msg(MsgErrorTitle);
  if (fileName != nullptr) {
    items[count++] = fileName;
    items[count++] = kSeparator;
  }
  items[count++] = message;
  int buttons = retrySkip ? 2 : 1;
  SystemErrorLines(error, text, items, &count, PromptItemCapacity - 1 - buttons);
  items[count++] = kSeparator;
  if (retrySkip) {
    items[count++] = Msg(MsgRetry);
    items[count++] = Msg(MsgSkip);
  } else {
    items[count++] = Msg(MsgOk);
  }
  int result = Host.Message(Host.ModuleNumber, MessageWarning | MessageLeftAlign, nullptr, items,
                            count, buttons);

  GiveScreen(held);
  return result;
}

}  // namespace

// The stop is set while the reader holds ScreenLock, so whoever gets the lock
// after a confirmed break sees it.
bool TakeScreen(bool* held) {
  HANDLE lock = ScreenLock;
  *held = lock != nullptr && platform::WaitForSingleObject(lock, INFINITE) == WAIT_OBJECT_0;
  if (!RunStopping.load()) return true;
  GiveScreen(*held);
  *held = false;
  return false;
}

void GiveScreen(bool held) {
  if (held) platform::SetEvent(ScreenLock);
}

void SystemTextLines(char* text, const char** items, int* count, int capacity) {
  text[kTextSize - 1] = 0;
  size_t length = std::strlen(text);
  while (length > 0 && IsTrailingJunk(text[length - 1])) text[--length] = 0;
  JoinLines(text);
  length = std::strlen(text);
  if (length > 0) platform::CharToOemBuffA(text, text, static_cast<DWORD>(length));

  char* start = text;
  while (*start != 0) {
    char* end = nullptr;
    for (char* p = start;; ++p) {
      if ((*p == ' ' || *p == 0) && p - start > kLineWidth) {
        end = p;
        break;
      }
      if (*p == 0) break;
    }
    if (*count >= capacity) return;  // the list is full: the rest is cut
    items[(*count)++] = start;
    if (end == nullptr || *end == 0) return;
    *end = 0;
    start = end + 1;
  }
}

void SystemErrorLines(DWORD error, char* text, const char** items, int* count, int capacity) {
  // No failure of the system's: the box has the caller's lines only.
  if (error == ERROR_SUCCESS) return;
  DWORD length = platform::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                          nullptr, error, 0, text, kTextSize, nullptr);
  if (length == 0 || length >= kTextSize) text[0] = 0;
  SystemTextLines(text, items, count, capacity);
}

// The error is read before waiting, so that nothing done on the way (the
// wait included) can change which error the box shows.
void ShowErrorBox(const char* message) {
  ShowBox(platform::GetLastError(), message, nullptr, false);
}

void ShowFileErrorBox(const char* message, const char* fileName) {
  ShowBox(platform::GetLastError(), message, fileName, false);
}

int AskRetrySkip(const char* message, const char* fileName) {
  return ShowBox(platform::GetLastError(), message, fileName, true) == 0 ? 0 : 2;
}
