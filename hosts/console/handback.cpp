// What the plug-in leaves in the console input when it returns: the hand-back
// of an operation to the host's own copy or move, and the command line that
// opens the list of files that were not copied.
#include <strings.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "host.h"
#include "platform/testing.h"

namespace fs = std::filesystem;

namespace {

// The host's own copy of one item: plain and careful. Returns "" or the reason.
std::string CopyItem(const fs::path& from, const fs::path& to, bool replace) {
  std::error_code ec;
  auto options = fs::copy_options::recursive | fs::copy_options::copy_symlinks |
                 (replace ? fs::copy_options::overwrite_existing : fs::copy_options::skip_existing);
  fs::copy(from, to, options, ec);
  return ec ? ec.message() : "";
}

std::string MoveItem(const fs::path& from, const fs::path& to, bool replace) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(to, ec)) || (replace && !fs::is_directory(to, ec))) {
    fs::rename(from, to, ec);
    if (!ec) return "";
  }
  // Another file system, or a folder to merge: copy, and remove the source
  // only once all of it is there.
  std::string error = CopyItem(from, to, replace);
  if (!error.empty()) return error;
  fs::remove_all(from, ec);
  return ec ? "copied, but the source stays: " + ec.message() : "";
}

void RunOwnOperation(bool move, bool confirmed) {
  HostState& h = TheHost;
  std::vector<std::string> names;
  for (const PanelItem& item : h.active.selected) names.push_back(OnDisk(ItemName(item)));
  if (names.empty() && !h.active.all.empty())
    names.push_back(OnDisk(ItemName(h.active.all[h.active.current])));
  if (names.empty()) return;
  h.handedBack = true;
  std::string dest = h.destIsFolder ? h.passive.folder : LinuxPath(h.destWindows);
  if (!confirmed && !h.frontend->ConfirmOwnOperation(move, static_cast<int>(names.size()), &dest)) {
    h.outcome.cancelled = true;
    return;
  }
  h.frontend->Note(std::string("the plug-in handed the ") + (move ? "move" : "copy") +
                   " back: quickferry " + (move ? "moves" : "copies") + " with its own command");
  std::error_code ec;
  bool intoFolder = fs::is_directory(dest, ec) || names.size() > 1 || dest.back() == '/';
  if (intoFolder) fs::create_directories(dest, ec);
  bool replace = h.options.overwrite == Overwrite::Replace;
  for (const std::string& name : names) {
    fs::path from = fs::path(h.active.folder) / name;
    fs::path to = intoFolder ? fs::path(dest) / name : fs::path(dest);
    if (to == from) continue;
    bool exists = fs::exists(fs::symlink_status(to, ec));
    if (exists && !replace && !fs::is_directory(to, ec)) {
      h.frontend->Note("exists, not " + std::string(move ? "moved" : "copied") + ": " +
                       to.string());
      // Left by the user's rule only with --overwrite=skip.
      if (h.options.overwrite != Overwrite::Skip) h.outcome.unanswered++;
      h.outcome.notCopied.push_back(from.string());
      continue;
    }
    std::string error = move ? MoveItem(from, to, replace) : CopyItem(from, to, replace);
    if (!error.empty()) {
      h.frontend->Note("cannot " + std::string(move ? "move " : "copy ") + from.string() + ": " +
                       error);
      h.outcome.failures++;
      h.outcome.notCopied.push_back(from.string());
    }
  }
  ReloadPanel(&h.active, false);
  ReloadPanel(&h.passive, true);
  h.frontend->RedrawPanels();
}

// The list file of "tmp:[+option|-option]... [FILE]", read as FAR's
// temporary panel reads it: the options are words that start with '+' or
// '-', the rest of the line is the name, trimmed and unquoted.
std::string TemporaryPanelFile(const std::string& arguments) {
  size_t at = 0;
  for (;;) {
    at = arguments.find_first_not_of(' ', at);
    if (at == std::string::npos) return "";
    if (arguments[at] != '+' && arguments[at] != '-') break;
    at = arguments.find(' ', at);
    if (at == std::string::npos) return "";
  }
  std::string name = arguments.substr(at, arguments.find_last_not_of(' ') + 1 - at);
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
    name = name.substr(1, name.size() - 2);
  return name;
}

// The list file holds one Windows path per line.
void OpenTemporaryList(const std::string& windowsFile) {
  HostState& h = TheHost;
  h.outcome.listPath = LinuxPath(windowsFile);
  std::ifstream in(h.outcome.listPath, std::ios::binary);
  if (windowsFile.empty() || !in) {
    h.frontend->Note("cannot read the list of files that were not copied: '" + windowsFile + "'");
    h.outcome.failures++;
    return;
  }
  std::vector<std::string> paths;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::string path = LinuxPath(line);
    paths.push_back(path.empty() ? line : path);
  }
  h.outcome.notCopied.insert(h.outcome.notCopied.end(), paths.begin(), paths.end());
  h.frontend->ShowNotCopied(paths);
}

void ExecuteCommandLine() {
  std::string command = TheHost.commandLine;
  TheHost.commandLine.clear();
  if (strncasecmp(command.c_str(), "tmp:", 4) == 0)
    return OpenTemporaryList(TemporaryPanelFile(command.substr(4)));
  if (!command.empty())
    TheHost.frontend->Note("the plug-in left a command quickferry does not run: " + command);
}

}  // namespace

void HandleQueuedInput() {
  std::vector<INPUT_RECORD> queue;
  INPUT_RECORD record;
  while (platform::testing::ConsolePopInput(&record)) queue.push_back(record);
  int pending = 0;
  for (const INPUT_RECORD& r : queue) {
    if (r.EventType != KEY_EVENT || !r.Event.KeyEvent.bKeyDown) continue;
    WORD key = r.Event.KeyEvent.wVirtualKeyCode;
    // The plug-in hands back with the modifiers that park the host's own
    // F5/F6; a bare F5 typed during the run is not a hand-back.
    DWORD modifiers = r.Event.KeyEvent.dwControlKeyState & 0x1F;
    if ((key == VK_F5 || key == VK_F6) && modifiers != 0) {
      pending = key;
    } else if (key == VK_RETURN) {
      if (pending) {
        RunOwnOperation(pending == VK_F6, true);
        pending = 0;
      } else if (!TheHost.commandLine.empty()) {
        ExecuteCommandLine();
      }
    }
  }
  if (pending) RunOwnOperation(pending == VK_F6, false);
  Outcome& o = TheHost.outcome;
  if (TheHost.copyDialogShown == 0 && !TheHost.handedBack && !o.cancelled && o.listPath.empty()) {
    TheHost.frontend->Note("the plug-in declined the operation and did not hand it back");
    o.failures++;
  }
}
