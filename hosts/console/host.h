// The quickferry host: what its parts share. The host loads the plug-in as
// FAR does and plays FAR's part: two panels, a command line, menus, dialogs
// and message boxes, either on a terminal or answered from the command line.
#pragma once

#include <atomic>
#include <csignal>
#include <string>
#include <vector>

#include "common/lng_file.h"
#include "host/host.h"
#include "host/messages.h"  // the message numbers only: the texts are ours

// ---- Command line -----------------------------------------------------------

enum class Overwrite { Default = -1, Ask = 0, Replace = 1, Skip = 2, Append = 3, Rename = 4 };

struct Options {
  bool move = false;
  bool batch = false;
  bool config = false;
  bool force = false;
  bool onlyNewer = false;
  bool listNotCopied = false;
  bool streams = false;
  bool rights = false;
  int parallel = -1;  // -1: as the dialog proposes; 0 serial; 1 parallel
  Overwrite overwrite = Overwrite::Default;
  std::string current;               // --current NAME
  std::string language;              // --lang NAME
  std::vector<std::string> sources;  // as typed
  std::string dest;                  // as typed
};

// ---- Panels -----------------------------------------------------------------

struct Panel {
  std::string folder;  // Linux path, no trailing '/' except for "/"
  std::vector<PanelItem> all;
  std::vector<PanelItem> selected;
  int current = 0;  // index into `all`
  int top = 0;      // first row shown (terminal only)
};

// Reads `folder` into `panel`, marking `selectedNames` and putting the
// cursor on `currentName` (or the first selected, or the first item).
void LoadPanel(Panel* panel, const std::string& folder,
               const std::vector<std::string>& selectedNames, const std::string& currentName);
// Reads the panel's folder again; the selection is kept or dropped.
void ReloadPanel(Panel* panel, bool keepSelection);
const char* ItemName(const PanelItem& item);
bool IsFolder(const PanelItem& item);

// ---- The host ---------------------------------------------------------------

// What the user sees and answers: a terminal or the command line.
class Frontend {
 public:
  virtual ~Frontend() = default;
  virtual int Menu(const char* title, const char* help, const MenuItem* items, int count) = 0;
  virtual int Dialog(int width, int height, const char* help, DialogItem* items, int count) = 0;
  virtual int Message(unsigned flags, const char* const* lines, int count, int buttons) = 0;
  // The screen buffer changed and should be shown now.
  virtual void Flush() {}
  // Control asked for a panel to be drawn again.
  virtual void RedrawPanels() {}
  // The plug-in handed the operation back without Enter: the host's own
  // copy dialog would open. True to go on.
  virtual bool ConfirmOwnOperation(bool move, int count, std::string* dest) = 0;
  // The list of files that were not copied ("tmp:+replace FILE").
  virtual void ShowNotCopied(const std::vector<std::string>& paths) = 0;
  // A line for the user: at once on stderr, or once the terminal is back.
  virtual void Note(const std::string& text) = 0;
};

// How a run went, as far as the host could see.
struct Outcome {
  std::atomic<int> failures{0};    // error boxes answered, failed hand-back copies
  std::atomic<int> unanswered{0};  // existing files skipped because nobody could be asked
  std::atomic<bool> cancelled{false};
  std::atomic<bool> refused{false};  // a destination warning was declined
  std::atomic<bool> broken{false};   // Esc reached the copy
  // What the plug-in listed (in batch mode always every file not copied,
  // those left by rule included).
  std::vector<std::string> notCopied;
  std::string listPath;
};

struct HostState {
  Options options;
  LngFile lng;
  std::string helpFile;  // the language's help file, beside the language file
  Panel active, passive;
  bool destIsFolder = false;
  std::string destWindows;  // DEST as the copy dialog takes it
  std::string commandLine;
  Frontend* frontend = nullptr;
  Outcome outcome;
  std::atomic<bool> inPlugin{false};  // OpenPlugin or Configure is running
  int copyDialogShown = 0;
  bool handedBack = false;  // the host ran its own copy or move
};
extern HostState TheHost;

// SIGINT, SIGTERM and SIGHUP so far: the first breaks off the run as Esc
// would, the second ends the process.
extern std::atomic<int> Interrupts;
inline constexpr int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};

// A message of the language file ("" for an id it lacks).
const char* Lng(int id);
// The text of a dialog item or menu line without its hot-key '&'.
std::string WithoutAmpersand(const char* text);
// Windows path ("Z:\...") for a Linux path, and back ("" when it reaches no drive).
std::string WindowsPath(const std::string& linuxPath);
std::string LinuxPath(const std::string& windowsPath);
// A name as the user sees it: OnDisk puts a listed (escaped) name or text
// back as it is on disk; ListedName is the name the plug-in lists for a
// name on disk; Visible shows control bytes as "\xNN" so that no name can
// write to the terminal.
std::string OnDisk(const std::string& listed);
std::string ListedName(const std::string& name);
std::string Visible(const std::string& text);
// A line of the plug-in's with any Windows path in it shown as a Linux path,
// names as on disk, control bytes visible.
std::string Readable(const std::string& line);

// The startup record whose slots call the functions of this host.
HostServices MakeStartupRecord();

// ---- After the plug-in returned -------------------------------------------

// Reads the console input the plug-in left behind: a hand-back of the
// operation (F5/F6 with its parked modifiers, maybe Enter) runs the host's
// own copy or move; Enter with "tmp:... FILE" on the command line reads the
// list of files that were not copied into the outcome. An operation that
// the plug-in neither ran nor handed back counts as not done.
void HandleQueuedInput();

// ---- Modes ------------------------------------------------------------------

struct PluginModule;
int RunBatch(const PluginModule& plugin);
int RunInteractive(const PluginModule& plugin);
// 0 when every selected file was copied or left by the user's own rule
// (skip, only newer); 1 when anything failed, was refused, left unanswered
// or broken off. Usage errors (2) are the caller's.
int ExitStatus();
// The files the plug-in listed as not copied, on stderr: always when the
// run failed, else with --list-not-copied.
void PrintNotCopied();
