// The few registry operations of the settings, the hot-key binding and the
// configuration dialog.
#include <cstring>

#include "settings.h"

namespace {

constexpr DWORD kValueBuffer = 512;  // one value's name or data, normally

HKEY OpenForQuery(const char* path) {
  HKEY key = nullptr;
  if (platform::RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

HKEY OpenForWrite(const char* path) {
  HKEY key = nullptr;
  DWORD disposition;
  if (platform::RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_WRITE, nullptr, &key, &disposition) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

void SetValue(const char* path, const char* name, DWORD type, const void* data, DWORD size) {
  if (HKEY key = OpenForWrite(path)) {
    platform::RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    platform::RegCloseKey(key);
  }
}

// Copies the value at `index` with buffers from the process heap, for a
// value whose name or data does not fit the usual 512 bytes.
LONG CopyLargeValue(HKEY source, HKEY target, DWORD index) {
  DWORD maxName = 0, maxData = 0;
  LONG rc = platform::RegQueryInfoKeyA(source, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, &maxName, &maxData, nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  HANDLE heap = platform::GetProcessHeap();
  char* name = static_cast<char*>(platform::HeapAlloc(heap, 0, maxName + 1));
  BYTE* data = static_cast<BYTE*>(platform::HeapAlloc(heap, 0, maxData ? maxData : 1));
  if (name && data) {
    DWORD nameLength = maxName + 1, size = maxData, type = 0;
    rc = platform::RegEnumValueA(source, index, name, &nameLength, nullptr, &type, data, &size);
    if (rc == ERROR_SUCCESS) platform::RegSetValueExA(target, name, 0, type, data, size);
  } else {
    rc = ERROR_NOT_ENOUGH_MEMORY;
  }
  platform::HeapFree(heap, 0, name);
  platform::HeapFree(heap, 0, data);
  return rc;
}

}  // namespace

int ReadSettingDword(const char* name, int defaultValue) {
  HKEY key = OpenForQuery(SettingsKey);
  if (!key) return defaultValue;
  DWORD value = 0, size = sizeof value, type = REG_NONE;
  LONG rc = platform::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                       &size);
  platform::RegCloseKey(key);
  // A text or a value of another size is no number: it must not become one.
  if (rc != ERROR_SUCCESS || size != sizeof value || (type != REG_DWORD && type != REG_BINARY))
    return defaultValue;
  return static_cast<int>(value);
}

void WriteSettingDword(const char* name, int value) {
  WriteUserDword(SettingsKey, name, value);
}

int ReadUserString(const char* keyPath, const char* name, char* buffer, const char* defaultText,
                   DWORD capacity) {
  if (capacity == 0) return 0;
  bool read = false;
  if (HKEY key = OpenForQuery(keyPath)) {
    DWORD size = capacity;
    LONG rc = platform::RegQueryValueExA(key, name, nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(buffer), &size);
    platform::RegCloseKey(key);
    // The text must end within the buffer, with or without a stored terminator.
    if (rc == ERROR_SUCCESS) {
      if (size > 0 && buffer[size - 1] == 0)
        read = true;
      else if (size < capacity) {
        buffer[size] = 0;
        read = true;
      }
    }
  }
  if (read) return 1;
  size_t length = strnlen(defaultText, capacity - 1);
  std::memcpy(buffer, defaultText, length);
  buffer[length] = 0;
  return 0;
}

void WriteUserString(const char* keyPath, const char* name, const char* text) {
  SetValue(keyPath, name, REG_SZ, text, static_cast<DWORD>(std::strlen(text) + 1));
}

void WriteUserDword(const char* keyPath, const char* name, int value) {
  DWORD data = static_cast<DWORD>(value);
  SetValue(keyPath, name, REG_DWORD, &data, sizeof data);
}

void DeleteUserKey(const char* keyPath) { platform::RegDeleteKeyA(HKEY_CURRENT_USER, keyPath); }

void CopyUserKeyValues(const char* sourcePath, const char* targetPath) {
  HKEY source = OpenForQuery(sourcePath);
  if (!source) return;
  HKEY target = OpenForWrite(targetPath);
  if (!target) {
    platform::RegCloseKey(source);
    return;
  }
  char name[kValueBuffer];
  BYTE data[kValueBuffer];
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = sizeof name, size = sizeof data, type = 0;
    LONG rc = platform::RegEnumValueA(source, index, name, &nameLength, nullptr, &type, data, &size);
    if (rc == ERROR_MORE_DATA) rc = CopyLargeValue(source, target, index);
    else if (rc == ERROR_SUCCESS) platform::RegSetValueExA(target, name, 0, type, data, size);
    if (rc != ERROR_SUCCESS) break;
  }
  platform::RegCloseKey(target);
  platform::RegCloseKey(source);
}
