// The binding on a host that reads its key macros from Lua files: one file
// of the plug-in's own, "Quickferry.lua" in the profile's "Macros\scripts"
// folder. Its first line marks it as ours; a file of that name without the
// mark is the user's and is never written over or removed.
#include <cstdio>
#include <cstring>
#include <iterator>

#include "common/text.h"
#include "engine/prompts.h"
#include "host/messages.h"
#include "macros.h"

namespace {

constexpr const char* kMarker =
    "-- Quickferry key macros: the plug-in rewrites this file, or removes it, when its keys are "
    "bound or unbound";
constexpr const char* kFolders[] = {"\\Macros", "\\Macros\\scripts"};
constexpr const char* kFileName = "\\Quickferry.lua";
constexpr const char* kTemporarySuffix = ".tmp";  // not *.lua: the host never loads a half file
// Our file is about 2 KiB; a file beyond this is not read whole, and a
// text that would not fit is refused, never cut.
constexpr DWORD kFileCapacity = 16384;

struct OperationMacro {
  const char* key;
  const char* menuKey;  // the operation's hot key in the plug-in's menu
  int message;          // the operation's menu text
};
constexpr OperationMacro kOperationMacros[] = {
    {"F5", "1", MsgMenuCopy},
    {"F6", "2", MsgMenuMove},
    {"ShiftF5", "3", MsgMenuCopyCurrent},
    {"ShiftF6", "4", MsgMenuMoveCurrent},
};

constexpr const char* kHostCommands[] = {"F5", "F6"};

enum FileState { FileMissing, FileOwn, FileForeign, FileUnreadable };

// The file's text, read or composed; used on the host's main thread only.
char FileText[kFileCapacity];

// "%FARPROFILE%" expanded into out[512]. False, with the last error set,
// when the host set no profile folder or its path is too long.
bool ProfileFolder(char* out) {
  DWORD length = platform::ExpandEnvironmentStringsA("%FARPROFILE%", out, 512);
  if (length == 0) return false;
  if (length > 512) {
    platform::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  if (out[0] == 0 || std::strcmp(out, "%FARPROFILE%") == 0) {
    platform::SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return false;
  }
  return true;
}

// "<profile>" + kFolders' last + kFileName into path[512].
bool JoinFilePath(const char* profile, char* path) {
  return CopyText(path, 512, profile) && AppendText(path, 512, kFolders[std::size(kFolders) - 1]) &&
         AppendText(path, 512, kFileName);
}

// The macro file's path into path[512]; false, with the last error set,
// as ProfileFolder, and then path names the file as the host would
// ("%FARPROFILE%\...") for the user's message.
bool MacroFilePath(char* path) {
  char profile[512];
  bool known = ProfileFolder(profile);
  if (known && JoinFilePath(profile, path)) return true;
  if (known) platform::SetLastError(ERROR_FILENAME_EXCED_RANGE);
  JoinFilePath("%FARPROFILE%", path);
  return false;
}

// Reads the file at `path` into text[kFileCapacity] and tells whose it is.
// FileUnreadable leaves the reason in the last error.
FileState ReadMacroFile(const char* path, char* text) {
  HANDLE file = platform::CreateFileA(path, GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = platform::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileMissing
                                                                           : FileUnreadable;
  }
  DWORD read = 0;
  BOOL ok = platform::ReadFile(file, text, kFileCapacity - 1, &read, nullptr);
  DWORD error = platform::GetLastError();
  platform::CloseHandle(file);
  if (!ok) {
    platform::SetLastError(error);
    return FileUnreadable;
  }
  text[read] = 0;
  const char* start = text;
  if (std::strncmp(start, "\xEF\xBB\xBF", 3) == 0) start += 3;  // an editor's byte-order mark
  size_t length = std::strlen(kMarker);
  bool marked = std::strncmp(start, kMarker, length) == 0 &&
                (start[length] == '\r' || start[length] == '\n');
  return marked ? FileOwn : FileForeign;
}

// The OEM text as UTF-8, the host's encoding of macro files, into
// out[capacity].
bool ToUtf8(const char* text, char* out, int capacity) {
  WCHAR wide[512];
  return platform::MultiByteToWideChar(CP_OEMCP, 0, text, -1, wide, 512) > 0 &&
         platform::WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, capacity, nullptr, nullptr) > 0;
}

// The menu text as the menu shows it: "&x" gives "x", "&&" gives "&".
void WithoutHotKeyMarks(const char* text, char* out) {
  size_t n = 0;
  for (; *text; ++text) {
    if (*text == '&' && text[1]) ++text;
    out[n++] = *text;
  }
  out[n] = 0;
}

// The OEM text as a Lua string literal in UTF-8 (quotes, backslashes and
// control characters escaped) into out[capacity]; false when it does not fit.
bool LuaString(const char* text, char* out, size_t capacity) {
  char utf8[1536];
  if (!ToUtf8(text, utf8, sizeof utf8) || !CopyText(out, capacity, "\"")) return false;
  for (const char* p = utf8; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    char piece[8] = {*p, 0};
    if (c == '"' || c == '\\')
      std::snprintf(piece, sizeof piece, "\\%c", *p);
    else if (c < 0x20 || c == 0x7F)
      std::snprintf(piece, sizeof piece, "\\%03u", c);
    if (!AppendText(out, capacity, piece)) return false;
  }
  return AppendText(out, capacity, "\"");
}

// "<title>: <what>" as a Lua string into out[capacity], for a macro's
// description.
bool Describe(const char* what, char* out, size_t capacity) {
  char description[512];
  return CopyText(description, sizeof description, Msg(MsgTitle)) &&
         AppendText(description, sizeof description, ": ") &&
         AppendText(description, sizeof description, what) &&
         LuaString(description, out, capacity);
}

// Appends one formatted block to text[kFileCapacity]; false when it does
// not fit.
template <typename... Arguments>
bool AppendBlock(char* text, const char* format, Arguments... arguments) {
  size_t used = std::strlen(text);
  int length = std::snprintf(text + used, kFileCapacity - used, format, arguments...);
  if (length >= 0 && static_cast<size_t>(length) < kFileCapacity - used) return true;
  text[used] = 0;
  return false;
}

// The whole file for the parking prefix into text[kFileCapacity]. F5, F6,
// Shift+F5 and Shift+F6 open the plug-ins menu, go to the plug-in's own
// entry (found by its text as it registers it, or as a menu shows it,
// without hot-key marks) and pick the operation by its hot key; nothing is
// picked when the entry is not found. prefix + F5/F6 give the host's own
// copy and move: keys a macro sends reach no other macro. False, with
// ERROR_INSUFFICIENT_BUFFER, when the texts are too long for the file.
bool ComposeMacroFile(const char* prefix, char* text) {
  char menu[512], shown[512], plain[512];
  char menuLua[2048], shownLua[2048], descriptionLua[2048];
  FormatMenuString(menu);
  WithoutHotKeyMarks(menu, shown);
  bool ok = LuaString(menu, menuLua, sizeof menuLua) && LuaString(shown, shownLua, sizeof shownLua);
  text[0] = 0;
  ok = ok && AppendBlock(text, "%s\r\n", kMarker);
  for (const OperationMacro& macro : kOperationMacros) {
    WithoutHotKeyMarks(Msg(macro.message), plain);
    ok = ok && Describe(plain, descriptionLua, sizeof descriptionLua) &&
         AppendBlock(text,
                     "Macro {\r\n"
                     "  area=\"Shell\"; key=\"%s\"; flags=\"NoPluginPanels\";\r\n"
                     "  description=%s;\r\n"
                     "  action=function()\r\n"
                     "    Keys(\"F11\")\r\n"
                     "    if Menu.Select(%s, 3) > 0 or Menu.Select(%s, 3) > 0 then\r\n"
                     "      Keys(\"Enter %s\")\r\n"
                     "    end\r\n"
                     "  end;\r\n"
                     "}\r\n",
                     macro.key, descriptionLua, menuLua, shownLua, macro.menuKey);
  }
  for (const char* command : kHostCommands) {
    ok = ok && Describe(command, descriptionLua, sizeof descriptionLua) &&
         AppendBlock(text,
                     "Macro {\r\n"
                     "  area=\"Shell\"; key=\"%s%s\";\r\n"
                     "  description=%s;\r\n"
                     "  action=function() Keys(\"%s\") end;\r\n"
                     "}\r\n",
                     prefix, command, descriptionLua, command);
  }
  if (!ok) platform::SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return ok;
}

// Creates the profile's macro folders where missing; false with the last
// error of the one that could not be made.
bool CreateMacroFolders() {
  char profile[512], folder[512];
  if (!ProfileFolder(profile)) return false;
  for (const char* below : kFolders) {
    if (!CopyText(folder, sizeof folder, profile) || !AppendText(folder, sizeof folder, below)) {
      platform::SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return false;
    }
    if (!platform::CreateDirectoryA(folder, nullptr) &&
        platform::GetLastError() != ERROR_ALREADY_EXISTS)
      return false;
  }
  return true;
}

// Writes `text` whole to a new file at `path`; false with the last error
// of the step that failed (a file may then be left at `path`).
bool WriteWholeFile(const char* path, const char* text) {
  HANDLE file = platform::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD length = static_cast<DWORD>(std::strlen(text)), written = 0;
  bool ok = platform::WriteFile(file, text, length, &written, nullptr) != FALSE;
  if (ok && written != length) platform::SetLastError(ERROR_DISK_FULL);
  ok = ok && written == length;
  DWORD error = platform::GetLastError();
  bool closed = platform::CloseHandle(file) != FALSE;  // the data may first fail here
  if (!ok) platform::SetLastError(error);
  return ok && closed;
}

// Puts the file in place through a temporary one beside it, so that the
// host never finds a part of it; the old file of ours is replaced at once.
bool ReplaceMacroFile(const char* path, const char* text, bool replace) {
  char temporary[512];
  if (!CopyText(temporary, sizeof temporary, path) ||
      !AppendText(temporary, sizeof temporary, kTemporarySuffix)) {
    platform::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  if (WriteWholeFile(temporary, text) &&
      platform::MoveFileExA(temporary, path, replace ? MOVEFILE_REPLACE_EXISTING : 0))
    return true;
  DWORD error = platform::GetLastError();
  platform::DeleteFileA(temporary);
  platform::SetLastError(error);
  return false;
}

void ShowForeignFile(const char* path) {
  const char* lines[] = {Msg(MsgWarningTitle), path, "\x01", Msg(MsgMacroFileForeign), "\x01",
                         Msg(MsgOk)};
  Host.Message(Host.ModuleNumber, MessageWarning | MessageLeftAlign, nullptr, lines,
               static_cast<int>(std::size(lines)), 1);
}

}  // namespace

bool LuaMacroHost() { return (HostVersion >> 8 & 0xFF) >= 3; }

bool MacroFileBinds(const char* keyName) {
  char path[512], key[64];
  if (!MacroFilePath(path) || ReadMacroFile(path, FileText) != FileOwn) return false;
  std::snprintf(key, sizeof key, "key=\"%s\"", keyName);
  return std::strstr(FileText, key) != nullptr;
}

void BindMacroFile(const char* prefix) {
  char path[512];
  if (!MacroFilePath(path)) {
    ShowFileErrorBox(Msg(MsgMacroFileFailed), path);
    return;
  }
  FileState state = ReadMacroFile(path, FileText);
  bool done = true;
  if (state == FileForeign) {
    if (prefix) ShowForeignFile(path);  // unbinding has nothing of ours to remove
    return;
  }
  if (state == FileUnreadable)
    done = false;  // what cannot be read cannot be known to be ours
  else if (prefix)
    done = CreateMacroFolders() && ComposeMacroFile(prefix, FileText) &&
           ReplaceMacroFile(path, FileText, state == FileOwn);
  else if (state == FileOwn)
    done = platform::DeleteFileA(path) != FALSE;
  if (!done) ShowFileErrorBox(Msg(MsgMacroFileFailed), path);
}
