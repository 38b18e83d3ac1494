// The plug-in's key macros in the host's key-macro tree.
#pragma once

#include "platform/platform.h"

// "Software\Far\KeyMacros\Shell\<keyName>" into path[512]; false when it
// does not fit.
bool MacroKeyPath(const char* keyName, char* path);

// 1 when the key's macro is one of the plug-in's: its "Sequence" begins
// with "F11 >" or is "F5" or "F6", ASCII case ignored. A missing key or
// value, or a sequence too long to read, is not the plug-in's.
int IsOwnMacro(const char* keyName);

// The console control-key state under which the host's own F5/F6 are
// parked: 18 (Alt+Shift), 24 (Ctrl+Shift), 10 (Ctrl+Alt), or 0 for none.
DWORD ParkedModifiers();
