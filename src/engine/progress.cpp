#include "progress.h"

#include <cstdio>
#include <cstring>

#include "boxes.h"
#include "common/run_state.h"
#include "common/text.h"
#include "host/messages.h"
#include "scan/file_list.h"
#include "scan/names.h"
#include "settings/settings.h"

// A counter that needed a lock would make every piece of a copy wait on it.
static_assert(std::atomic<uint64_t>::is_always_lock_free, "64-bit atomics must be lock-free");

std::atomic<uint64_t> TotalRead{0};
std::atomic<uint64_t> TotalWritten{0};
std::atomic<uint64_t> ReadTime{0};
std::atomic<uint64_t> WriteTime{0};
uint64_t RunStartTime;
std::atomic<uint64_t> LastRedraw{0};

namespace {

// Microseconds between redraws; a new name brings the next one forward to
// kNameRedraw after the last, so that thousands of small files do not
// redraw thousands of times.
constexpr uint64_t kRedrawInterval = 100000;
constexpr uint64_t kNameRedraw = 50000;
constexpr int kLineWidth = 50;
constexpr size_t kNameSize = 512;
constexpr auto kRelaxed = std::memory_order_relaxed;

constexpr char kBarDone = '\xDB', kBarLeft = '\xB0';
constexpr char kSeparatorLeft = '\xC7', kSeparator = '\xC4', kSeparatorRight = '\xB6';

// Each name is set by its own side's thread but shown by either side's
// redraw. The guard is held only to copy at most 512 bytes, so it never
// makes a thread wait for the screen, and no redraw shows half a name.
char ReadName[kNameSize];
char WriteName[kNameSize];
std::atomic_flag NameGuard = ATOMIC_FLAG_INIT;

void LockNames() {
  while (NameGuard.test_and_set(std::memory_order_acquire)) {
  }
}

void UnlockNames() { NameGuard.clear(std::memory_order_release); }

void Flush() { Host.Text(0, 0, 0, nullptr); }

void SetName(char* line, const char* name) {
  // Only a name's end is ever shown, so an overlong one keeps its end.
  size_t length = std::strlen(name);
  const char* kept = length < kNameSize ? name : name + (length - (kNameSize - 1));
  LockNames();
  CopyText(line, kNameSize, kept);
  UnlockNames();
}

// Whole seconds of a float time; beyond int's range a conversion would be
// undefined, so a wild estimate stops at the largest float below 2^31.
int WholeSeconds(float seconds) {
  if (!(seconds > 0.0f)) return 0;
  if (seconds >= 2147483648.0f) return 2147483520;
  return static_cast<int>(seconds);
}

// "mm:ss  ", minutes not limited to two digits.
void FormatTime(int seconds, char* out, size_t capacity) {
  std::snprintf(out, capacity, "%2.2d:%2.2d  ", seconds / 60, seconds % 60);
}

void ShowProgress(std::atomic<uint64_t>& counter, char* line, const char* name, uint64_t bytes) {
  counter.fetch_add(bytes, kRelaxed);
  if (name) {
    SetName(line, name);
    uint64_t due = LastRedraw.load(kRelaxed) - (kRedrawInterval - kNameRedraw);
    LastRedraw.store(due < LastRedraw.load(kRelaxed) ? due : 0, kRelaxed);
  }
  if (NowMicroseconds() - LastRedraw.load(kRelaxed) <= kRedrawInterval) return;
  // A busy screen skips this redraw rather than slow the copy down.
  HANDLE lock = ScreenLock;
  if (lock && platform::WaitForSingleObject(lock, 0) != WAIT_OBJECT_0) return;
  LastRedraw.store(NowMicroseconds(), kRelaxed);

  char readName[kNameSize], writeName[kNameSize];
  LockNames();
  std::memcpy(readName, ReadName, kNameSize);
  std::memcpy(writeName, WriteName, kNameSize);
  UnlockNames();
  uint64_t total = TotalBytes;
  DrawTransferLines(Msg(MsgLabelReading), 2, readName, TotalRead.load(kRelaxed), total,
                    ReadTime.load(kRelaxed));
  DrawTransferLines(Msg(MsgLabelWriting), 6, writeName, TotalWritten.load(kRelaxed), total,
                    WriteTime.load(kRelaxed));
  DrawTimeLine();
  if (lock) platform::SetEvent(lock);
}

}  // namespace

uint64_t NowMicroseconds() {
  FILETIME now;
  platform::GetSystemTimeAsFileTime(&now);
  return ((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10;
}

void ResetProgress() {
  LockNames();
  ReadName[0] = 0;
  WriteName[0] = 0;
  UnlockNames();
  TotalRead = 0;
  TotalWritten = 0;
  ReadTime = 0;
  WriteTime = 0;
  RunStartTime = NowMicroseconds();
  LastRedraw = 0;  // a run's first name shows at once
}

void RedrawProgress() {
  LastRedraw = 0;
  ShowProgress(TotalRead, ReadName, nullptr, 0);
}

void DrawProgressBox(const char* title) {
  DrawBox(RunBox.left, RunBox.top, RunBox.right, RunBox.bottom, title);
  int w = RunBox.right - RunBox.left + 1;
  if (w >= 8 && w < static_cast<int>(kNameSize)) {
    char row[kNameSize];
    std::memset(row, ' ', w);
    row[3] = kSeparatorLeft;
    std::memset(row + 4, kSeparator, w - 8);
    row[w - 4] = kSeparatorRight;
    row[w] = 0;
    Host.Text(RunBox.left, RunBox.top + 5, BoxFrameColor, row);
    Host.Text(RunBox.left, RunBox.top + 9, BoxFrameColor, row);
  }
  Flush();
}

void ShowReadProgress(const char* name, uint64_t bytes) {
  ShowProgress(TotalRead, ReadName, name, bytes);
}

void ShowWriteProgress(const char* name, uint64_t bytes) {
  ShowProgress(TotalWritten, WriteName, name, bytes);
}

void DrawTransferLines(const char* label, int row, const char* name, uint64_t done,
                       uint64_t total, uint64_t microseconds) {
  const int x = RunBox.left + 5, y = RunBox.top + row;
  char text[kNameSize];
  std::memset(text, ' ', kLineWidth);
  text[kLineWidth] = 0;
  for (int i = 0; i < 3; ++i) Host.Text(x, y + i, BoxTextColor, text);

  // A language file's label cannot push the name out of the box.
  std::snprintf(text, kLineWidth + 1, "%s", label);
  int labelLength = static_cast<int>(std::strlen(text));
  Host.Text(x, y + 2, BoxHighlightColor, text);
  ShortenPathLeft(name, text, kLineWidth - labelLength);
  Host.Text(x + labelLength, y + 2, BoxTextColor, text);

  // An entry that grew while it was copied must not read above 100%.
  if (done > total) done = total;
  int percent = total ? static_cast<int>(static_cast<double>(done) / total * 100) : 0;
  char doneText[32], totalText[32];
  FormatSizeKb(done, doneText);
  FormatSizeKb(total, totalText);
  std::snprintf(text, sizeof text, "%s %s %s %s [%d%%]", doneText, Msg(MsgCountOf), totalText,
                Msg(MsgCountUnit), percent);
  text[kLineWidth] = 0;
  Host.Text(x, y, BoxTextColor, text);

  uint64_t speed = 0;
  if (microseconds) {
    double rate = static_cast<double>(done) / microseconds * 1000000.0;
    speed = rate < 18446744073709551616.0 ? static_cast<uint64_t>(rate) : UINT64_MAX;
  }
  char speedText[32];
  FormatSizeKb(speed, speedText);
  std::snprintf(text, sizeof text, "%s %s", speedText, Msg(MsgSpeedUnit));
  text[kLineWidth] = 0;
  Host.Text(RunBox.right - 5 - static_cast<int>(std::strlen(text)), y, BoxTextColor, text);

  int filled = total ? static_cast<int>(kLineWidth * static_cast<double>(done) / total) : 0;
  if (filled > kLineWidth) filled = kLineWidth;
  std::memset(text, kBarDone, filled);
  std::memset(text + filled, kBarLeft, kLineWidth - filled);
  text[kLineWidth] = 0;
  Host.Text(x, y + 1, BoxTextColor, text);
  Flush();
}

void DrawTimeLine() {
  uint64_t read = TotalRead.load(kRelaxed), written = TotalWritten.load(kRelaxed);
  uint64_t total = TotalBytes;
  // Whole seconds are taken in integers first: as floats, times since 1601
  // would be off by minutes.
  int64_t seconds = static_cast<int64_t>(NowMicroseconds() / 1000000) -
                    static_cast<int64_t>(RunStartTime / 1000000);
  float elapsed = seconds > 0 ? static_cast<float>(seconds) : 0.0f;
  // Every byte is read once and written once: 2 * TotalBytes is the work.
  float estimate = 0.0f;
  if (read && written)
    estimate = elapsed * 2.0f * static_cast<float>(total) /
               (static_cast<float>(written) + static_cast<float>(read));
  int estimateSeconds = WholeSeconds(estimate);
  int elapsedSeconds = WholeSeconds(elapsed);
  int remainingSeconds = WholeSeconds(estimate - elapsed);

  const int y = RunBox.top + 10;
  int x = RunBox.left + 5;
  char text[kNameSize];
  // Blank first: a time that gets shorter would leave its old end behind.
  std::memset(text, ' ', kLineWidth);
  text[kLineWidth] = 0;
  Host.Text(x, y, BoxTextColor, text);
  const struct {
    int label;
    int seconds;
  } pieces[] = {{MsgTimeTotal, estimateSeconds},
                {MsgTimeElapsed, elapsedSeconds},
                {MsgTimeLeft, remainingSeconds}};
  for (const auto& piece : pieces) {
    const char* label = Msg(piece.label);
    Host.Text(x, y, BoxHighlightColor, label);
    x += static_cast<int>(std::strlen(label));
    FormatTime(piece.seconds, text, sizeof text);
    Host.Text(x, y, BoxTextColor, text);
    x += static_cast<int>(std::strlen(text));
  }

  int percent = 0;
  if (total) {
    float share = (static_cast<float>(written) / static_cast<float>(total) +
                   static_cast<float>(read) / static_cast<float>(total)) *
                  50.0f;
    percent = share >= 100.0f ? 100 : share > 0.0f ? static_cast<int>(share) : 0;
  }
  std::snprintf(text, sizeof text, "{%d%% %2.2d:%2.2d} %s - FAR", percent, remainingSeconds / 60,
                remainingSeconds % 60, Msg(IsMove ? MsgProgressMove : MsgProgressCopy));
  if (!Settings.IsNT) platform::OemToCharA(text, text);
  platform::SetConsoleTitleA(text);
}
