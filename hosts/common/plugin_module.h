// The plug-in's four exports, as a host finds them.
#pragma once

#include <string>

#include "host/host.h"

struct PluginModule {
  void(WINAPI* SetStartupInfo)(const HostServices*) = nullptr;
  void(WINAPI* GetPluginInfo)(PluginInfo*) = nullptr;
  HANDLE(WINAPI* OpenPlugin)(int, int) = nullptr;
  int(WINAPI* Configure)(int) = nullptr;
  void* handle = nullptr;
};

// Loads the plug-in's shared object and looks up the four exports by their
// plain names. Returns false with a message in *error when the file does not
// load or an export is missing. The module stays loaded for the process.
bool LoadPluginModule(const std::string& path, PluginModule* module, std::string* error);
