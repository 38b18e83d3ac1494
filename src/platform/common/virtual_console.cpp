// The in-process virtual console: a cell buffer, an input queue and a title.
// A host renders and feeds it; the plug-in sees it through the console calls.
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "../testing.h"
#include "layer.h"

namespace platform::detail {
namespace {

struct Console {
  std::mutex mutex;
  std::condition_variable inputArrived;
  std::deque<INPUT_RECORD> input;
  int width = 80;
  int height = 25;
  std::string title;
  std::vector<CHAR_INFO> cells = std::vector<CHAR_INFO>(80 * 25, BlankCell());

  static CHAR_INFO BlankCell() {
    CHAR_INFO cell{};
    cell.Char.AsciiChar = ' ';
    cell.Attributes = 0x07;
    return cell;
  }
};

Console& TheConsole() {
  static Console* console = new Console;  // never destroyed: hosts' threads may outlive statics
  return *console;
}

// Distinct, never-dereferenced values standing for the three std handles.
HANDLE const kInput = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7A110));
HANDLE const kOutput = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7A111));
HANDLE const kError = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7A112));

}  // namespace

HANDLE VirtualStdHandle(DWORD which) {
  if (which == STD_INPUT_HANDLE) return kInput;
  if (which == STD_OUTPUT_HANDLE) return kOutput;
  if (which == STD_ERROR_HANDLE) return kError;
  return INVALID_HANDLE_VALUE;
}

bool IsVirtualHandle(HANDLE handle) {
  return handle == kInput || handle == kOutput || handle == kError;
}

BOOL VirtualPeekInput(INPUT_RECORD* buffer, DWORD length, LPDWORD read) {
  Console& c = TheConsole();
  std::lock_guard<std::mutex> lock(c.mutex);
  DWORD n = static_cast<DWORD>(std::min<size_t>(length, c.input.size()));
  std::copy_n(c.input.begin(), n, buffer);
  *read = n;
  return TRUE;
}

BOOL VirtualReadInput(INPUT_RECORD* buffer, DWORD length, LPDWORD read) {
  Console& c = TheConsole();
  std::unique_lock<std::mutex> lock(c.mutex);
  if (length == 0) {
    *read = 0;
    return TRUE;
  }
  c.inputArrived.wait(lock, [&] { return !c.input.empty(); });
  DWORD n = static_cast<DWORD>(std::min<size_t>(length, c.input.size()));
  std::copy_n(c.input.begin(), n, buffer);
  c.input.erase(c.input.begin(), c.input.begin() + n);
  *read = n;
  return TRUE;
}

BOOL VirtualWriteInput(const INPUT_RECORD* buffer, DWORD length, LPDWORD written) {
  Console& c = TheConsole();
  {
    std::lock_guard<std::mutex> lock(c.mutex);
    c.input.insert(c.input.end(), buffer, buffer + length);
  }
  c.inputArrived.notify_all();
  *written = length;
  return TRUE;
}

BOOL VirtualScreenInfo(CONSOLE_SCREEN_BUFFER_INFO* info) {
  Console& c = TheConsole();
  std::lock_guard<std::mutex> lock(c.mutex);
  std::memset(info, 0, sizeof *info);
  info->dwSize.X = static_cast<SHORT>(c.width);
  info->dwSize.Y = static_cast<SHORT>(c.height);
  info->wAttributes = 0x07;
  info->srWindow.Right = static_cast<SHORT>(c.width - 1);
  info->srWindow.Bottom = static_cast<SHORT>(c.height - 1);
  info->dwMaximumWindowSize = info->dwSize;
  return TRUE;
}

// Cells from `start` onward, row after row, as Windows walks them.
template <class Visit>
BOOL VisitCells(DWORD length, COORD start, LPDWORD done, Visit visit) {
  Console& c = TheConsole();
  std::lock_guard<std::mutex> lock(c.mutex);
  DWORD n = 0;
  if (start.X >= 0 && start.Y >= 0 && start.X < c.width && start.Y < c.height) {
    size_t first = static_cast<size_t>(start.Y) * c.width + start.X;
    for (; n < length && first + n < c.cells.size(); ++n) visit(c.cells[first + n], n);
  }
  *done = n;
  return TRUE;
}

BOOL VirtualReadAttributes(WORD* attributes, DWORD length, COORD start, LPDWORD done) {
  return VisitCells(length, start, done, [&](CHAR_INFO& cell, DWORD i) { attributes[i] = cell.Attributes; });
}

BOOL VirtualWriteAttributes(const WORD* attributes, DWORD length, COORD start, LPDWORD done) {
  return VisitCells(length, start, done, [&](CHAR_INFO& cell, DWORD i) { cell.Attributes = attributes[i]; });
}

BOOL VirtualSetTitle(LPCSTR title) {
  Console& c = TheConsole();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.title = title ? title : "";
  return TRUE;
}

}  // namespace platform::detail

namespace platform::testing {

using detail::Console;
using detail::TheConsole;

void ConsoleReset(int width, int height) {
  Console& c = TheConsole();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.width = std::max(1, width);
  c.height = std::max(1, height);
  c.cells.assign(static_cast<size_t>(c.width) * c.height, Console::BlankCell());
  c.input.clear();
  c.title.clear();
}

int ConsoleInputCount() {
  Console& c = TheConsole();
  std::lock_guard<std::mutex> lock(c.mutex);
  return static_cast<int>(c.input.size());
}

bool ConsolePopInput(INPUT_RECORD* record) {
  Console& c = TheConsole();
  std::lock_guard<std::mutex> lock(c.mutex);
  if (c.input.empty()) return false;
  *record = c.input.front();
  c.input.pop_front();
  return true;
}

void ConsoleFeedInput(const INPUT_RECORD& record) {
  DWORD written;
  detail::VirtualWriteInput(&record, 1, &written);
}

int ConsoleWidth() {
  Console& c = TheConsole();
  std::lock_guard<std::mutex> lock(c.mutex);
  return c.width;
}

int ConsoleHeight() {
  Console& c = TheConsole();
  std::lock_guard<std::mutex> lock(c.mutex);
  return c.height;
}

CHAR_INFO ConsoleCell(int x, int y) {
  Console& c = TheConsole();
  std::lock_guard<std::mutex> lock(c.mutex);
  if (x < 0 || y < 0 || x >= c.width || y >= c.height) return Console::BlankCell();
  return c.cells[static_cast<size_t>(y) * c.width + x];
}

void ConsoleSetCell(int x, int y, CHAR_INFO cell) {
  Console& c = TheConsole();
  std::lock_guard<std::mutex> lock(c.mutex);
  if (x < 0 || y < 0 || x >= c.width || y >= c.height) return;
  c.cells[static_cast<size_t>(y) * c.width + x] = cell;
}

void ConsoleWriteText(int x, int y, WORD attributes, const char* text) {
  Console& c = TheConsole();
  std::lock_guard<std::mutex> lock(c.mutex);
  if (y < 0 || y >= c.height || !text) return;
  for (; *text; ++text, ++x) {
    if (x < 0) continue;
    if (x >= c.width) break;
    CHAR_INFO& cell = c.cells[static_cast<size_t>(y) * c.width + x];
    cell.Char.UnicodeChar = 0;
    cell.Char.AsciiChar = *text;
    cell.Attributes = attributes;
  }
}

void ConsoleReadRow(int y, char* out, int capacity) {
  if (capacity <= 0) return;
  Console& c = TheConsole();
  std::lock_guard<std::mutex> lock(c.mutex);
  int n = 0;
  if (y >= 0 && y < c.height)
    for (; n < c.width && n < capacity - 1; ++n)
      out[n] = c.cells[static_cast<size_t>(y) * c.width + n].Char.AsciiChar;
  out[n] = 0;
}

void ConsoleTitle(char* out, int capacity) {
  if (capacity <= 0) return;
  Console& c = TheConsole();
  std::lock_guard<std::mutex> lock(c.mutex);
  size_t n = std::min(c.title.size(), static_cast<size_t>(capacity - 1));
  std::memcpy(out, c.title.data(), n);
  out[n] = 0;
}

}  // namespace platform::testing
