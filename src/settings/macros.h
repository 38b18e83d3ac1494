// The plug-in's key macros: F5, F6, Shift+F5 and Shift+F6 open the plug-in,
// and the host's own F5/F6 are parked under one modifier combination. A
// host of version 3 or later reads them from a macro file of the plug-in's
// own; older hosts from the host's key-macro tree in the registry, where the
// user's former macros wait in a backup tree.
#pragma once

#include "platform/platform.h"

// True on a host that reads its key macros from Lua files (major version 3
// and later).
bool LuaMacroHost();

// On such a host: whether the plug-in's own macro file ("Quickferry.lua" in
// the profile's "Macros\scripts" folder, marked as ours by its first line)
// binds the key.
bool MacroFileBinds(const char* keyName);

// On such a host: writes the plug-in's macro file for the parking prefix,
// whole or not at all, creating its folders; without a prefix removes it. A
// file of that name that is not ours is left alone (binding tells the user
// so), and any failure is shown to the user.
void BindMacroFile(const char* prefix);

// "Software\Far\KeyMacros\Shell\<keyName>" into path[512]; false when it
// does not fit.
bool MacroKeyPath(const char* keyName, char* path);

// "Software\Far\KeyMacros\Shell.backup\<keyName>" into path[512], where the
// user's own macro of that key is kept while the plug-in holds the key;
// false when it does not fit.
bool MacroBackupPath(const char* keyName, char* path);

// 1 when the key's macro is one of the plug-in's: on a Lua host, when the
// plug-in's macro file binds it; otherwise when its "Sequence" is a text
// (REG_SZ) that begins with "F11 >" or is "F5" or "F6", ASCII case ignored.
// A missing key or value, a value of another type, or a sequence too long
// to read, is not the plug-in's.
int IsOwnMacro(const char* keyName);

// The console control-key state under which the host's own F5/F6 are
// parked: 18 (Alt+Shift), 24 (Ctrl+Shift), 10 (Ctrl+Alt), or 0 for none.
DWORD ParkedModifiers();

// When the key holds the plug-in's macro: deletes it and moves the backed-up
// user's macro (if any) back. Any other macro is left alone.
void RemoveOwnMacro(const char* keyName);

// Writes the plug-in's macro on the key: "Sequence", "DisableOutput" 1,
// "NoPluginPanels" 1 - parked, "PluginPanels" parked. A user's macro there
// first moves to the backup tree, replacing a stale backup; when that move
// fails the user's macro stays and the key is left unbound. A macro of the
// plug-in is overwritten, its backup kept.
void InstallMacro(const char* keyName, const char* sequence, int parked);

// Removes every macro of the plug-in on the ten keys, restoring backups;
// then, with a prefix ("AltShift", "CtrlShift" or "CtrlAlt"; null for
// none), binds F5, F6, Shift+F5, Shift+F6 and parks the host's F5/F6 under
// the prefix. On a Lua host: BindMacroFile.
void BindKeys(const char* prefix);

// Has the host load the macros again (AdvControl, on a host whose record is
// larger than OldHostRecordSize); an older host gets a notice that the change
// takes effect at its next start.
void ReloadMacros();

// Once per installation (the "BindFixed" option): rewrites an existing
// binding in the registry in the current scheme, keeping its parking
// combination. Nothing on a Lua host, which never reads that binding.
void FixBinding();

// The hot-key dialog: binds or unbinds the keys and chooses the parking
// combination; does nothing unless the user changed something and pressed OK.
void ShowHotkeyDialog();
