// Reads a host-side language file (.lng): the first statement
// ".Language=Name,Description", then one message per line that begins with
// a double quote (after leading blanks), numbered from 0.
#pragma once

#include <string>
#include <vector>

struct LngFile {
  std::string language;  // the name before the comma
  std::vector<std::string> messages;
};

// Loads `path`; returns false with a message for the user in *error when the
// file is missing, lacks its .Language line, or holds fewer than
// `requiredMessages` messages.
bool LoadLngFile(const std::string& path, size_t requiredMessages, LngFile* file,
                 std::string* error);

// Parses one message line (leading blanks allowed): the text between the
// first and the last double quote, with \\ \" \n \r \b \t unescaped and any
// other backslash kept.
std::string ParseLngMessage(const std::string& line);
