// Real files for the tests that work on trees: paths as the plug-in sees
// them, and whole-file reads and writes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

// The Windows path of a local one (Linux reaches / as Z:).
inline std::string WindowsPath(const std::filesystem::path& path) {
#ifdef _WIN32
  std::string text = path.string();
#else
  std::string text = "Z:" + path.string();
#endif
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

// Creates the folders on the way.
inline void WriteFile(const std::filesystem::path& path, const std::string& data) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << data;
}

// In large reads: byte by byte, megabytes take seconds under the sanitizers.
inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string data;
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
    data.append(chunk, static_cast<size_t>(in.gcount()));
  return data;
}

// A sparse file of `size` bytes that ends in `tail`. On Windows through the
// system's own calls: std::filesystem::resize_file kills the program under
// Wine.
inline bool WriteSparseFile(const std::filesystem::path& path, uint64_t size,
                            const std::string& tail = "") {
#ifdef _WIN32
  HANDLE file = ::CreateFileW(path.wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER end, at;
  end.QuadPart = static_cast<LONGLONG>(size);
  at.QuadPart = static_cast<LONGLONG>(size - tail.size());
  DWORD written = 0;
  bool ok = ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file) &&
            ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
            ::WriteFile(file, tail.data(), static_cast<DWORD>(tail.size()), &written, nullptr) &&
            written == tail.size();
  return ::CloseHandle(file) && ok;
#else
  std::error_code error;
  std::ofstream(path).close();
  std::filesystem::resize_file(path, size, error);
  if (error) return false;
  std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
  out.seekp(static_cast<std::streamoff>(size - tail.size()));
  out << tail;
  return static_cast<bool>(out);
#endif
}
