#include "macros.h"

#include "common/text.h"
#include "settings.h"

namespace {

constexpr const char* kMacroRoot = "Software\\Far\\KeyMacros\\Shell";

// The host reads a sequence as text; a value of another type is no macro of
// ours, whatever its bytes happen to spell.
bool IsTextValue(const char* path, const char* name) {
  HKEY key = nullptr;
  if (platform::RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return false;
  DWORD type = REG_NONE, size = 0;
  LONG rc = platform::RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
  platform::RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_SZ;
}

}  // namespace

bool MacroKeyPath(const char* keyName, char* path) {
  return CopyText(path, 512, kMacroRoot) && AppendText(path, 512, "\\") &&
         AppendText(path, 512, keyName);
}

bool MacroBackupPath(const char* keyName, char* path) {
  return CopyText(path, 512, kMacroRoot) && AppendText(path, 512, ".backup\\") &&
         AppendText(path, 512, keyName);
}

int IsOwnMacro(const char* keyName) {
  if (LuaMacroHost()) return MacroFileBinds(keyName);
  char path[512];
  char sequence[512];
  if (!MacroKeyPath(keyName, path) || !IsTextValue(path, "Sequence")) return 0;
  ReadUserString(path, "Sequence", sequence, "", sizeof sequence);
  return CompareNoCaseN(sequence, "F11 >", 5) == 0 || CompareNoCase(sequence, "F5") == 0 ||
         CompareNoCase(sequence, "F6") == 0;
}

DWORD ParkedModifiers() {
  if (IsOwnMacro("AltShiftF5")) return LEFT_ALT_PRESSED | SHIFT_PRESSED;
  if (IsOwnMacro("CtrlShiftF5")) return LEFT_CTRL_PRESSED | SHIFT_PRESSED;
  if (IsOwnMacro("CtrlAltF5")) return LEFT_CTRL_PRESSED | LEFT_ALT_PRESSED;
  return 0;
}
