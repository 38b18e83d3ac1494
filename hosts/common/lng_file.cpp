#include "lng_file.h"

#include <cstring>
#include <fstream>
#include <sstream>

namespace {
std::string TrimLeft(const std::string& s) {
  size_t i = s.find_first_not_of(" \t");
  return i == std::string::npos ? "" : s.substr(i);
}
}  // namespace

std::string ParseLngMessage(const std::string& line) {
  std::string s = TrimLeft(line);
  while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.pop_back();
  if (s.empty() || s.front() != '"') return "";
  size_t end = s.size() > 1 && s.back() == '"' ? s.size() - 1 : s.size();
  std::string out;
  for (size_t i = 1; i < end; ++i) {
    char c = s[i];
    if (c == '\\' && i + 1 < end) {
      static const char kFrom[] = "\\\"nrbt";
      static const char kTo[] = "\\\"\n\r\b\t";
      const char* k = std::strchr(kFrom, s[i + 1]);
      if (k && *k) {
        out += kTo[k - kFrom];
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

bool LoadLngFile(const std::string& path, size_t requiredMessages, LngFile* file,
                 std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open the language file " + path;
    return false;
  }
  file->language.clear();
  file->messages.clear();
  std::string line;
  bool header = false;
  while (std::getline(in, line)) {
    std::string s = TrimLeft(line);
    if (!s.empty() && s.back() == '\r') s.pop_back();
    if (!header) {
      if (s.empty() || s.rfind("//", 0) == 0) continue;
      if (s.rfind(".Language=", 0) != 0) {
        *error = path + ": the first statement must be .Language=Name,Description";
        return false;
      }
      std::string value = s.substr(10);
      file->language = value.substr(0, value.find(','));
      header = true;
      continue;
    }
    if (!s.empty() && s.front() == '"') file->messages.push_back(ParseLngMessage(s));
  }
  if (!header) {
    *error = path + ": no .Language line";
    return false;
  }
  if (file->messages.size() < requiredMessages) {
    std::ostringstream text;
    text << path << ": " << file->messages.size() << " messages, the plug-in needs "
         << requiredMessages;
    *error = text.str();
    return false;
  }
  return true;
}
