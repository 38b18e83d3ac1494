// quickferry: copies and moves files with the Quickferry plug-in, which it
// loads and serves as FAR does. On a terminal the user sees the plug-in's own
// menu, dialogs and progress box; from a script (--batch, or no terminal)
// the command line answers them.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/plugin_module.h"
#include "host.h"
#include "platform/testing.h"
#include "terminal_codes.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: quickferry [OPTION]... SOURCE... DEST\n"
    "       quickferry [OPTION]... --current NAME [SOURCE]... DEST\n"
    "       quickferry --config\n"
    "\n"
    "Copies (or moves) the SOURCEs, which lie in one folder, to DEST with the\n"
    "Quickferry plug-in: into DEST when it is a folder, else to that name\n"
    "('*' and '?' in its last part are a mask: '*.bak'; 'X:\\...' and\n"
    "'\\\\server\\share\\...' name a drive or share).\n"
    "On a terminal the plug-in's menu and dialogs ask; with --batch (or when\n"
    "stdin or stdout is not a terminal) these options answer them:\n"
    "\n"
    "  --move                 move instead of copy\n"
    "  --current NAME         act on NAME alone (copy it, or move/rename it)\n"
    "  --overwrite=MODE       existing files: ask, overwrite, skip, append, rename\n"
    "                         (in batch mode nobody answers: ask skips them)\n"
    "  --only-newer           copy a file only over an older one\n"
    "  --parallel, --serial   read and write at the same time, or not\n"
    "  --list-not-copied      list every file that was not copied, also on success\n"
    "  --streams, --rights    copy extended attributes, access rights (these need\n"
    "                         the NTFS options of the copy dialog: --config)\n"
    "  --force                go on despite a warning about the destination\n"
    "  --batch                never ask: answer from the command line\n"
    "  --lang NAME            the plug-in's language: en, ru (English, Russian);\n"
    "                         else the locale's (LC_ALL, LC_MESSAGES, LANG)\n"
    "  --config               the plug-in's configuration dialog (batch: print it)\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 when every selected file was copied or left by your own\n"
    "rule (--overwrite=skip, --only-newer); 1 when anything failed, was refused\n"
    "or broken off (in batch mode also a file left because nobody could be\n"
    "asked): each failure is told on stderr, and in batch mode every file not\n"
    "copied is listed there at the end; 2 on a usage or set-up error, such as\n"
    "several SOURCEs onto one file (nothing touched). --list-not-copied lists\n"
    "the files not copied also when the status is 0.\n"
    "SIGINT, SIGTERM and SIGHUP break off as Esc does: the file being written\n"
    "is removed, finished ones stay; a second signal ends at once.\n"
    "Settings: $QUICKFERRY_REGISTRY, else ~/.config/quickferry/registry.db.\n"
    "F1 in the plug-in's menu and dialogs shows their help.\n";

int UsageError(const std::string& text) {
  std::fprintf(stderr, "quickferry: %s\nTry 'quickferry --help'.\n", Visible(text).c_str());
  return 2;
}

bool Exists(const fs::path& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0;
}

// Absolute, without "." and "..", without a trailing '/'.
fs::path Normal(const std::string& typed) {
  fs::path p = fs::absolute(typed).lexically_normal();
  std::string s = p.string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// Parses the command line into TheHost.options; "" or the error.
std::string ParseArguments(int argc, char** argv, bool* help, bool* version) {
  Options& o = TheHost.options;
  std::vector<std::string> positional;
  bool serial = false, parallel = false, optionsDone = false;
  const std::pair<const char*, bool*> flags[] = {{"--help", help},
                                                 {"--version", version},
                                                 {"--move", &o.move},
                                                 {"--batch", &o.batch},
                                                 {"--config", &o.config},
                                                 {"--force", &o.force},
                                                 {"--only-newer", &o.onlyNewer},
                                                 {"--list-not-copied", &o.listNotCopied},
                                                 {"--streams", &o.streams},
                                                 {"--rights", &o.rights},
                                                 {"--parallel", &parallel},
                                                 {"--serial", &serial}};
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (optionsDone || a.size() < 2 || a[0] != '-') {
      positional.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsDone = true;
      continue;
    }
    std::string value;
    size_t eq = a.find('=');
    bool hasValue = eq != std::string::npos;
    if (hasValue) {
      value = a.substr(eq + 1);
      a = a.substr(0, eq);
    }
    auto takeValue = [&] {
      if (!hasValue && i + 1 < argc) value = argv[++i], hasValue = true;
      return hasValue && !value.empty();
    };
    bool* flag = nullptr;
    for (const auto& [name, target] : flags)
      if (a == name) flag = target;
    if (flag) {
      if (hasValue) return a + " takes no value";
      *flag = true;
    } else if (a == "--current") {
      if (!takeValue()) return "--current needs a NAME";
      o.current = value;
    } else if (a == "--lang") {
      if (!takeValue()) return "--lang needs a NAME";
      o.language = value;
    } else if (a == "--overwrite") {
      if (!takeValue()) return "--overwrite needs a MODE";
      static const char* const kModes[] = {"ask", "overwrite", "skip", "append", "rename"};
      int mode = -1;
      for (int m = 0; m < 5; ++m)
        if (value == kModes[m]) mode = m;
      if (mode < 0)
        return "--overwrite: '" + value + "' is not ask, overwrite, skip, append or rename";
      o.overwrite = static_cast<Overwrite>(mode);
    } else {
      return "unknown option " + std::string(argv[i]);
    }
  }
  if (*help || *version) return "";
  if (parallel && serial) return "--parallel and --serial exclude each other";
  o.parallel = parallel ? 1 : serial ? 0 : -1;
  if (o.config) {
    if (!positional.empty()) return "--config takes no files";
    return "";
  }
  for (const std::string& name : positional)
    if (name.empty()) return "an empty argument names no file";
  if (positional.empty()) return "missing SOURCE and DEST";
  o.dest = positional.back();
  positional.pop_back();
  if (positional.empty() && o.current.empty()) return "missing DEST after '" + o.dest + "'";
  o.sources = positional;
  return "";
}

// The panels from the command line: the sources' folder with the sources
// selected, and DEST's folder (or, for a new name, the current folder).
std::string PreparePanels() {
  const Options& o = TheHost.options;
  std::vector<std::string> names;
  std::string folder, currentName;
  auto take = [&](const std::string& typed, std::string* name) -> std::string {
    fs::path p = Normal(typed);
    if (!Exists(p)) return "cannot find '" + typed + "'";
    if (p == p.root_path()) return "cannot copy the root folder '" + typed + "'";
    std::string parent = p.parent_path().string();
    if (folder.empty()) folder = parent;
    if (parent != folder)
      return "'" + typed + "' is not in " + folder + ": the sources must share one folder";
    *name = ListedName(p.filename().string());
    return "";
  };
  if (!o.current.empty()) {
    std::string error = take(o.current, &currentName);
    if (!error.empty()) return error;
  }
  for (const std::string& s : o.sources) {
    std::string name, error = take(s, &name);
    if (!error.empty()) return error;
    names.push_back(name);
  }
  if (o.dest.empty()) return "missing DEST";
  // "X:\..." and "\\server\share\..." name a drive or share; one the
  // platform does not have is refused, never taken as a folder name here.
  const std::string& typed = o.dest;
  bool windowsForm = typed.compare(0, 2, "\\\\") == 0 ||
                     (typed.size() >= 3 && std::isalpha(static_cast<unsigned char>(typed[0])) &&
                      typed[1] == ':' && (typed[2] == '\\' || typed[2] == '/'));
  std::string destText = o.dest;
  if (windowsForm) {
    destText = LinuxPath(typed);
    if (destText.empty())
      return "DEST '" + typed + "' names a drive or share that quickferry does not have";
    if (typed.back() == '\\' || typed.back() == '/') destText += '/';
  }
  fs::path dest = Normal(destText);
  std::error_code ec;
  TheHost.destIsFolder = fs::is_directory(dest, ec);
  std::string destFolder = TheHost.destIsFolder ? dest.string() : fs::current_path().string();
  // The copy dialog resolves a relative text against the source folder;
  // the user meant the current one, so it gets the full path.
  TheHost.destWindows = WindowsPath(dest.string());
  // '*' and '?' in DEST's last part are a name mask, as in the copy dialog.
  std::string mask = dest.filename().string();
  if (!TheHost.destIsFolder && mask.find_first_of("*?") != std::string::npos) {
    std::string listed = ListedName(mask), raw;
    for (size_t i = 0; i < listed.size(); ++i) {
      std::string pair = listed.substr(i, 2);
      std::string shown = OnDisk(pair);
      if (pair.size() == 2 && (shown == "*" || shown == "?")) {
        raw += shown;
        ++i;
      } else {
        raw += listed[i];
      }
    }
    TheHost.destWindows = WindowsPath(dest.parent_path().string());
    if (TheHost.destWindows.back() != '\\') TheHost.destWindows += '\\';
    TheHost.destWindows += raw;
  }
  bool typedAsFolder = !destText.empty() && destText.back() == '/';
  if ((TheHost.destIsFolder || typedAsFolder) && TheHost.destWindows.back() != '\\')
    TheHost.destWindows += '\\';
  if (TheHost.destWindows.size() >= 512) return "DEST is too long";
  LoadPanel(&TheHost.active, folder, names,
            currentName.empty() ? (names.empty() ? "" : names[0]) : currentName);
  // A name the platform cannot list would silently drop out of the copy.
  for (const std::string& name : names) {
    bool listed = false;
    for (const PanelItem& item : TheHost.active.selected) listed |= name == ItemName(item);
    if (!listed) return "cannot hand '" + OnDisk(name) + "' to the plug-in (a name it cannot read)";
  }
  const Panel& active = TheHost.active;
  if (!currentName.empty() &&
      (active.all.empty() || currentName != ItemName(active.all[active.current])))
    return "cannot hand '" + OnDisk(currentName) + "' to the plug-in (a name it cannot read)";
  LoadPanel(&TheHost.passive, destFolder, {}, "");
  return "";
}

fs::path PluginPath() {
  if (const char* env = std::getenv("QUICKFERRY_PLUGIN")) return env;
  fs::path self = fs::canonical("/proc/self/exe").parent_path();
  // Beside the host, installed (bin/../lib/quickferry), or in the build tree.
  for (const fs::path& candidate :
       {self / "libquickferry.so", self / "../lib/quickferry/libquickferry.so",
        self / "../../src/libquickferry.so"})
    if (fs::exists(candidate)) return candidate.lexically_normal();
  return self / "libquickferry.so";
}

// The folder of the language and help files: the plug-in's own (a build),
// or the prefix's share/quickferry when installed.
fs::path DataFolder(const fs::path& plugin) {
  fs::path own = plugin.parent_path();
  if (fs::exists(own / "QuickferryEng.lng")) return own;
  fs::path shared = (own / "../../share/quickferry").lexically_normal();
  return fs::exists(shared / "QuickferryEng.lng") ? shared : own;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The language file that `wanted` names: by the file's suffix ("Rus"), its
// language ("Russian") or that language's first two letters ("ru"); "" for
// none.
fs::path FindLanguage(const fs::path& folder, const std::string& wanted) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    std::string file = entry.path().filename().string();
    if (file.rfind("Quickferry", 0) != 0 || entry.path().extension() != ".lng") continue;
    LngFile lng;
    std::string error;
    if (!LoadLngFile(entry.path().string(), 0, &lng, &error)) continue;
    std::string suffix = entry.path().stem().string().substr(10);
    for (const std::string& name : {suffix, lng.language, lng.language.substr(0, 2)})
      if (!wanted.empty() && Lower(name) == Lower(wanted)) return entry.path();
  }
  return {};
}

// The locale's language: "ru" of "ru_RU.UTF-8", as setlocale would choose.
std::string LocaleLanguage() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    std::string value = std::getenv(variable) ? std::getenv(variable) : "";
    if (!value.empty()) return value.substr(0, value.find_first_of("_.@"));
  }
  return "";
}

// FAR's language files are in the OEM code page of their language.
int CodePageOf(const std::string& language) { return language == "Russian" ? 866 : 437; }

}  // namespace

int main(int argc, char** argv) {
  bool help = false, version = false;
  std::string error = ParseArguments(argc, argv, &help, &version);
  if (!error.empty()) return UsageError(error);
  if (help) return std::fputs(kUsage, stdout), 0;
  if (version) return std::printf("quickferry %s\n", QUICKFERRY_VERSION), 0;

  Options& o = TheHost.options;
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) o.batch = true;
  if (!o.config) {
    error = PreparePanels();
    if (!error.empty()) return UsageError(error);
  }

  fs::path plugin = PluginPath();
  fs::path data = DataFolder(plugin);
  fs::path lng = FindLanguage(data, o.language.empty() ? LocaleLanguage() : o.language);
  if (lng.empty() && !o.language.empty())
    return UsageError("no language file for '" + o.language + "' in " + data.string());
  if (lng.empty()) lng = data / "QuickferryEng.lng";
  TheHost.helpFile = fs::path(lng).replace_extension(".hlf").string();
  if (!LoadLngFile(lng.string(), MessageCount, &TheHost.lng, &error)) {
    std::fprintf(stderr, "quickferry: %s\n", error.c_str());
    return 2;
  }
  SetOemCodePage(CodePageOf(TheHost.lng.language));
  PluginModule module;
  if (!LoadPluginModule(plugin.string(), &module, &error)) {
    std::fprintf(stderr, "quickferry: %s\n(QUICKFERRY_PLUGIN names another libquickferry.so)\n",
                 error.c_str());
    return 2;
  }
  return o.batch ? RunBatch(module) : RunInteractive(module);
}
