// Real files for the tests that work on trees: paths as the plug-in sees
// them, and whole-file reads and writes.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

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
