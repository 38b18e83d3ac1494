// Registry: forwarders to advapi32, with the fault table and handle count.
#include <map>
#include <mutex>
#include <string>

#include "../common/layer.h"

namespace platform {
namespace {
// Paths of the open keys below HKCU, so that faults match the same texts as
// on Linux: the key's path, and "\" and the value name for a value.
std::mutex g_mutex;
std::map<HKEY, std::string> g_paths;

std::string KeyPath(HKEY key, LPCSTR subKey) {
  std::string path;
  if (key != HKEY_CURRENT_USER) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_paths.find(key);
    if (it != g_paths.end()) path = it->second;
  }
  if (subKey && *subKey) path = path.empty() ? subKey : path + "\\" + subKey;
  return path;
}

std::string Described(HKEY key, LPCSTR name) { return KeyPath(key, nullptr) + "\\" + (name ? name : ""); }

void Opened(HKEY key, std::string path) {
  detail::HandleOpened();
  std::lock_guard<std::mutex> lock(g_mutex);
  g_paths[key] = std::move(path);
}
}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
  DWORD error;
  std::string path = KeyPath(key, subKey);
  if (detail::Fault("RegOpenKeyExA", path.c_str(), &error)) {
    if (result) *result = nullptr;
    return static_cast<LONG>(error);
  }
  LONG rc = ::RegOpenKeyExA(key, subKey, options, access, result);
  if (rc == ERROR_SUCCESS) Opened(*result, path);
  return rc;
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                     REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     LPDWORD disposition) {
  DWORD error;
  std::string path = KeyPath(key, subKey);
  if (detail::Fault("RegCreateKeyExA", path.c_str(), &error)) {
    if (result) *result = nullptr;
    return static_cast<LONG>(error);
  }
  LONG rc = ::RegCreateKeyExA(key, subKey, reserved, keyClass, options, access, security, result,
                              disposition);
  if (rc == ERROR_SUCCESS) Opened(*result, path);
  return rc;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
  DWORD error;
  if (detail::Fault("RegQueryValueExA", Described(key, valueName).c_str(), &error))
    return static_cast<LONG>(error);
  return ::RegQueryValueExA(key, valueName, reserved, type, data, dataSize);
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize) {
  DWORD error;
  if (detail::Fault("RegSetValueExA", Described(key, valueName).c_str(), &error))
    return static_cast<LONG>(error);
  return ::RegSetValueExA(key, valueName, reserved, type, data, dataSize);
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) {
  DWORD error;
  if (detail::Fault("RegDeleteKeyA", KeyPath(key, subKey).c_str(), &error)) return static_cast<LONG>(error);
  return ::RegDeleteKeyA(key, subKey);
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD dataSize) {
  DWORD error;
  if (detail::Fault("RegEnumValueA", Described(key, nullptr).c_str(), &error)) return static_cast<LONG>(error);
  return ::RegEnumValueA(key, index, name, nameLength, reserved, type, data, dataSize);
}

LONG RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classLength, LPDWORD reserved,
                      LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD maxClassLength,
                      LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                      LPDWORD securityDescriptorSize, FILETIME* lastWriteTime) {
  DWORD error;
  if (detail::Fault("RegQueryInfoKeyA", Described(key, nullptr).c_str(), &error)) return static_cast<LONG>(error);
  return ::RegQueryInfoKeyA(key, keyClass, classLength, reserved, subKeys, maxSubKeyLength,
                            maxClassLength, values, maxValueNameLength, maxValueLength,
                            securityDescriptorSize, lastWriteTime);
}

LONG RegCloseKey(HKEY key) {
  LONG rc = ::RegCloseKey(key);
  if (rc == ERROR_SUCCESS && key != HKEY_CURRENT_USER) {
    detail::HandleClosed();
    std::lock_guard<std::mutex> lock(g_mutex);
    g_paths.erase(key);
  }
  return rc;
}

}  // namespace platform

namespace platform::testing {
void ReopenRegistry() {}
}  // namespace platform::testing
