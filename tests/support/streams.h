// Named streams through the plug-in's own platform calls ("file:name"):
// extended attributes on Linux, NTFS streams on Windows.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "support/files.h"

inline bool WriteStream(const std::filesystem::path& file, const std::string& name,
                        const std::string& data) {
  HANDLE stream = platform::CreateFileA((WindowsPath(file) + ":" + name).c_str(), GENERIC_WRITE,
                                        0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (stream == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  bool written = platform::WriteFile(stream, data.data(), static_cast<DWORD>(data.size()), &done,
                                     nullptr) &&
                 done == data.size();
  return platform::CloseHandle(stream) && written;
}

// None when the file or the stream is missing.
inline std::optional<std::string> ReadStream(const std::filesystem::path& file,
                                             const std::string& name) {
  HANDLE stream = platform::CreateFileA((WindowsPath(file) + ":" + name).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (stream == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string data(65536, '\0');
  DWORD done = 0;
  bool read = platform::ReadFile(stream, data.data(), static_cast<DWORD>(data.size()), &done,
                                 nullptr);
  platform::CloseHandle(stream);
  if (!read) return std::nullopt;
  data.resize(done);
  return data;
}
