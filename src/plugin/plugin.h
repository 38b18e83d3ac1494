// The four entry points the host finds by name, and the hand-off of a
// declined operation back to the host's own copy or move.
#pragma once

#include "host/host.h"

#ifdef _WIN32
#define PLUGIN_EXPORT extern "C"
#else
#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

PLUGIN_EXPORT void WINAPI SetStartupInfo(const HostServices* info);
PLUGIN_EXPORT void WINAPI GetPluginInfo(PluginInfo* info);
PLUGIN_EXPORT HANDLE WINAPI OpenPlugin(int openFrom, int item);
PLUGIN_EXPORT int WINAPI Configure(int itemNumber);

// Puts the host's own F5 (copy) or F6 (move), with the modifiers it is
// parked under, into the console input; for a run result of -1 an Enter
// follows to confirm the host's dialog. Nothing when no combination carries
// the host's command.
void HandOffKeys(int isMove, int runResult);
