#include "plugin_module.h"

#ifdef _WIN32
// (platform.h brought <windows.h>.)
#else
#include <dlfcn.h>
#endif

namespace {
void* Symbol(void* handle, const char* name) {
#ifdef _WIN32
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle), name));
#else
  return ::dlsym(handle, name);
#endif
}
}  // namespace

bool LoadPluginModule(const std::string& path, PluginModule* module, std::string* error) {
#ifdef _WIN32
  void* handle = reinterpret_cast<void*>(::LoadLibraryA(path.c_str()));
  if (!handle) {
    *error = "cannot load " + path;
    return false;
  }
#else
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    *error = std::string("cannot load the plug-in: ") + ::dlerror();
    return false;
  }
#endif
  module->handle = handle;
  module->SetStartupInfo =
      reinterpret_cast<decltype(module->SetStartupInfo)>(Symbol(handle, "SetStartupInfo"));
  module->GetPluginInfo =
      reinterpret_cast<decltype(module->GetPluginInfo)>(Symbol(handle, "GetPluginInfo"));
  module->OpenPlugin = reinterpret_cast<decltype(module->OpenPlugin)>(Symbol(handle, "OpenPlugin"));
  module->Configure = reinterpret_cast<decltype(module->Configure)>(Symbol(handle, "Configure"));
  if (!module->SetStartupInfo || !module->GetPluginInfo || !module->OpenPlugin ||
      !module->Configure) {
    *error = path + ": an entry point is missing (SetStartupInfo, GetPluginInfo, OpenPlugin, Configure)";
    return false;
  }
  return true;
}
