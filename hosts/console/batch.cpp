// Batch mode: nobody at a terminal. The command line answers the plug-in's
// menu and copy dialog; the questions get the answer that is safe; the
// progress goes to stderr, read from the progress box the plug-in draws.
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "common/plugin_module.h"
#include "host.h"
#include "platform/testing.h"
#include "terminal_codes.h"

namespace pt = platform::testing;

namespace {

int FindItem(const DialogItem* items, int count, int type, int message) {
  for (int i = 0; i < count; ++i)
    if (items[i].Type == type && std::strcmp(items[i].Data, Lng(message)) == 0) return i;
  return -1;
}

void SetCheck(DialogItem* items, int count, int message, bool on) {
  int i = FindItem(items, count, ItemCheckBox, message);
  if (i >= 0) items[i].Selected = on;
}

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : separator) + p;
  return out;
}

class BatchFrontend : public Frontend {
 public:
  bool usageError = false;

  // The plug-in's one menu is the operation menu.
  int Menu(const char*, const char*, const MenuItem*, int count) override {
    int choice = (TheHost.options.move ? 1 : 0) + (TheHost.options.current.empty() ? 0 : 2);
    if (choice < count) return choice;
    Note("the plug-in's menu has no item for this operation");
    TheHost.outcome.cancelled = true;
    return -1;
  }

  int Dialog(int, int, const char* help, DialogItem* items, int count) override {
    if (std::strcmp(help, "Main") == 0) return CopyDialog(items, count);
    if (std::strcmp(help, "Overwrite") == 0) return OverwriteDialog(items, count);
    if (std::strcmp(help, "Config") == 0) return PrintConfiguration(items, count);
    return -1;  // the rename, hot-key and About dialogs: nobody to ask
  }

  int Message(unsigned, const char* const* lines, int count, int buttons) override {
    if (buttons <= 0 || count <= buttons) return -1;
    std::string title = lines[0];
    std::vector<std::string> body;
    for (int i = 1; i < count - buttons; ++i)
      if (std::strcmp(lines[i], "\x01") != 0) body.push_back(Readable(lines[i]));
    std::string text = Joined(body, ": ");
    auto has = [&](int message) {
      for (int i = 1; i < count - buttons; ++i)
        if (std::strcmp(lines[i], Lng(message)) == 0) return true;
      return false;
    };
    if (title == Lng(MsgErrorTitle)) {
      Note(text);
      // Several sources onto one destination: refused before anything was
      // touched, as a usage error.
      if (has(MsgSameDestination))
        usageError = true;
      else
        TheHost.outcome.failures++;
      return buttons == 2 ? 1 : 0;  // Skip, or the one button
    }
    if (title == Lng(MsgWarningTitle) && buttons == 2) {
      if (TheHost.options.force) {
        Note(body.empty() ? title : body[0] + " (going on: --force)");
        return 0;
      }
      Note((body.empty() ? title : body[0]) + ": nothing copied (--force goes on anyway)");
      TheHost.outcome.refused = true;
      return 1;
    }
    if (has(MsgConfirmBreak)) return 0;  // only our own Esc (a signal) asks this
    if (has(MsgListFailed1)) return 0;   // yes: the list is printed
    Note(text);
    return buttons - 1;  // the last button: no, cancel, or the only OK
  }

  bool ConfirmOwnOperation(bool, int, std::string*) override { return true; }

  // Printed once the exit status is known (PrintNotCopied).
  void ShowNotCopied(const std::vector<std::string>&) override {}

  void Note(const std::string& text) override {
    ClearProgressLine();
    std::fprintf(stderr, "quickferry: %s\n", OemToUtf8(text).c_str());
  }

  // The progress line on a terminal is rewritten in place; anything else
  // printed first takes it away.
  std::mutex printing;
  bool lineShown = false;
  void ClearProgressLine() {
    std::lock_guard<std::mutex> lock(printing);
    if (lineShown) std::fputs("\r\033[K", stderr);
    lineShown = false;
  }

 private:
  int CopyDialog(DialogItem* items, int count) {
    const Options& o = TheHost.options;
    int start = FindItem(items, count, ItemButton, MsgDlgStart);
    int cancel = FindItem(items, count, ItemButton, MsgCancel);
    if (start < 0) {
      Note("the copy dialog has no start button: is the language file the plug-in's?");
      TheHost.outcome.cancelled = true;
      return cancel;
    }
    // Shown again: a warning was declined (already told) or the text refused.
    if (++TheHost.copyDialogShown > 1) {
      TheHost.outcome.refused = true;
      return cancel;
    }
    for (int i = 0; i < count; ++i)
      if (items[i].Type == ItemEdit) {
        std::snprintf(items[i].Data, sizeof items[i].Data, "%s", TheHost.destWindows.c_str());
        break;
      }
    if (o.parallel >= 0) SetCheck(items, count, MsgDlgParallel, o.parallel == 1);
    SetCheck(items, count, MsgDlgOnlyNewer, o.onlyNewer);
    // Always the whole list: a failed run prints it even without
    // --list-not-copied (PrintNotCopied).
    SetCheck(items, count, MsgDlgListNotCopied, true);
    if (o.overwrite != Overwrite::Default)
      for (int m = 0; m < 5; ++m) {
        int i = FindItem(items, count, ItemRadioButton, MsgDlgAsk + m);
        if (i >= 0) items[i].Selected = m == static_cast<int>(o.overwrite);
      }
    const struct {
      bool wanted;
      int message;
      const char* option;
    } extras[] = {{o.streams, MsgDlgStreams, "--streams"}, {o.rights, MsgDlgRights, "--rights"}};
    for (const auto& extra : extras) {
      if (!extra.wanted) continue;
      if (FindItem(items, count, ItemCheckBox, extra.message) < 0) {
        Note(std::string(extra.option) +
             " needs the NTFS options in the copy dialog: turn them on with quickferry --config");
        usageError = true;
        return cancel;
      }
      SetCheck(items, count, extra.message, true);
    }
    return start;
  }

  int OverwriteDialog(DialogItem* items, int count) {
    int exists = FindItem(items, count, ItemText, MsgOverwriteExists);
    std::string target = exists >= 0 && exists + 1 < count ? Readable(items[exists + 1].Data) : "";
    int answer = MsgOverwriteSkip;
    switch (TheHost.options.overwrite) {
      case Overwrite::Replace:
        answer = MsgOverwriteOverwrite;
        break;
      case Overwrite::Append:
        answer = MsgOverwriteAppend;
        break;
      case Overwrite::Rename:
        // A new name without asking for one: the automatic one, for all.
        answer = MsgOverwriteRename;
        SetCheck(items, count, MsgOverwriteForAll, true);
        break;
      default:
        break;
    }
    if (answer == MsgOverwriteSkip) {
      Note("exists, skipped: " + target);
      TheHost.outcome.unanswered++;
    }
    int button = FindItem(items, count, ItemButton, answer);
    return button;
  }

  // --config in batch mode shows the options as the dialog holds them, row
  // by row.
  int PrintConfiguration(DialogItem* items, int count) {
    std::map<int, std::map<int, std::string>> rows;  // y, x, text
    for (int i = 0; i < count; ++i) {
      const DialogItem& item = items[i];
      std::string text = WithoutAmpersand(item.Data), piece;
      switch (item.Type) {
        case ItemDoubleBox:
        case ItemText:
          piece = text;
          break;
        case ItemCheckBox:
          piece = (item.Selected ? "[x] " : "[ ] ") + text;
          break;
        case ItemRadioButton:
          piece = (item.Selected ? "(*) " : "( ) ") + text;
          break;
        case ItemEdit:
          piece = "[" + std::string(item.Data) + "]";
          break;
        default:
          continue;
      }
      if (!piece.empty()) rows[item.Y1][item.X1] += piece;
    }
    for (const auto& [y, pieces] : rows) {
      std::string line;
      for (const auto& [x, piece] : pieces) line += (line.empty() ? "" : " ") + piece;
      std::printf("%s\n", OemToUtf8(line).c_str());
    }
    return FindItem(items, count, ItemButton, MsgCancel);
  }
};

BatchFrontend* Batch = nullptr;

// ---- Progress ----

struct BoxReading {
  int percent = -1;
  std::string speed, name;
};

std::string Row(int y) {
  char row[1024];
  pt::ConsoleReadRow(y, row, sizeof row);
  std::string s = row;
  for (char& c : s)
    if (static_cast<unsigned char>(c) == 0xBA) c = ' ';  // the box's sides
  size_t first = s.find_first_not_of(' '), last = s.find_last_not_of(' ');
  return first == std::string::npos ? "" : s.substr(first, last - first + 1);
}

// The counts line above a "Reading: "/"Writing: " line: "... [42%]   1,234 KB/s".
bool ReadTransfer(int label, BoxReading* out) {
  std::string prefix = Lng(label);
  for (int y = 2; y < pt::ConsoleHeight(); ++y) {
    std::string row = Row(y);
    if (prefix.empty() || row.compare(0, prefix.size(), prefix) != 0) continue;
    out->name = row.substr(prefix.size());
    std::string counts = Row(y - 2);
    size_t open = counts.rfind('['), close = counts.rfind("%]");
    if (open == std::string::npos || close == std::string::npos || close < open) return false;
    out->percent = std::atoi(counts.c_str() + open + 1);
    out->speed = counts.substr(close + 2);
    out->speed.erase(0, out->speed.find_first_not_of(' '));
    return true;
  }
  return false;
}

std::string ProgressLine() {
  char title[512];
  pt::ConsoleTitle(title, sizeof title);
  int percent = 0, minutes = 0, seconds = 0, used = 0;
  if (std::sscanf(title, "{%d%% %d:%d}%n", &percent, &minutes, &seconds, &used) < 3) return "";
  std::string word = title + used;
  word.erase(0, word.find_first_not_of(' '));
  size_t dash = word.rfind(" - ");
  if (dash != std::string::npos) word.erase(dash);
  BoxReading read, write;
  if (!ReadTransfer(MsgLabelReading, &read) || !ReadTransfer(MsgLabelWriting, &write)) return "";
  char line[1024];
  // A name too long for the box is shortened from the left ("...\\dir\\file").
  std::string name = Readable(write.name.empty() ? read.name : write.name);
  for (char& c : name)
    if (c == '\\') c = '/';
  std::snprintf(line, sizeof line, "%s %d%%, %02d:%02d left; read %d%% %s, write %d%% %s  %s",
                word.c_str(), percent, minutes, seconds, read.percent, read.speed.c_str(),
                write.percent, write.speed.c_str(), name.c_str());
  return line;
}

class ProgressReporter {
 public:
  void Start() {
    tty_ = isatty(STDERR_FILENO);
    thread_ = std::thread([this] { Loop(); });
  }
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    Batch->ClearProgressLine();
  }

 private:
  void Loop() {
    using Clock = std::chrono::steady_clock;
    auto every = std::chrono::milliseconds(tty_ ? 500 : 5000);
    auto next = Clock::now() + every;
    std::string last;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return stop_; })) {
      // Esc for the plug-in's break check, until it has taken one: the run
      // stops cleanly, taking back the file it was writing.
      if (Interrupts > 0 && pt::ConsoleInputCount() == 0) {
        INPUT_RECORD esc{};
        esc.EventType = KEY_EVENT;
        esc.Event.KeyEvent.bKeyDown = TRUE;
        esc.Event.KeyEvent.wVirtualKeyCode = VK_ESCAPE;
        esc.Event.KeyEvent.uChar.AsciiChar = 0x1B;
        pt::ConsoleFeedInput(esc);
        TheHost.outcome.broken = true;
      }
      if (Clock::now() < next) continue;
      next = Clock::now() + every;
      std::string line = OemToUtf8(ProgressLine());
      if (line.empty() || (!tty_ && line == last)) continue;
      last = line;
      std::lock_guard<std::mutex> print(Batch->printing);
      if (tty_) {
        struct winsize size {};
        size_t width =
            ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col ? size.ws_col : 80;
        if (line.size() >= width) line.resize(width - 1);
        std::fprintf(stderr, "\r%s\033[K", line.c_str());
        Batch->lineShown = true;
      } else {
        std::fprintf(stderr, "quickferry: %s\n", line.c_str());
      }
      std::fflush(stderr);
    }
  }

  bool tty_ = false;
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
};

// SIGINT, SIGTERM, SIGHUP: the first breaks off the run, the second ends
// the process.
void OnInterrupt(int signal) {
  if (Interrupts.fetch_add(1) >= 1) {
    ::signal(signal, SIG_DFL);
    ::raise(signal);
  }
}

}  // namespace

int RunBatch(const PluginModule& plugin) {
  pt::ConsoleReset(80, 25);
  BatchFrontend frontend;
  Batch = &frontend;
  TheHost.frontend = &frontend;
  HostServices record = MakeStartupRecord();
  plugin.SetStartupInfo(&record);
  PluginInfo info{};
  plugin.GetPluginInfo(&info);
  if (TheHost.options.config) {
    plugin.Configure(0);
    return 0;
  }
  for (int s : kInterruptSignals) ::signal(s, OnInterrupt);
  ProgressReporter progress;
  progress.Start();
  TheHost.inPlugin = true;
  plugin.OpenPlugin(0, 0);
  TheHost.inPlugin = false;
  progress.Stop();
  HandleQueuedInput();
  if (frontend.usageError) return 2;
  if (TheHost.outcome.broken) frontend.Note("broken off");
  int status = ExitStatus();
  if (status != 0 || TheHost.options.listNotCopied) PrintNotCopied();
  return status;
}
