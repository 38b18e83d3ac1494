// Reads a FAR help file (.hlf) and lays its topics out for a text window:
// ".Language=", ".PluginContents=", "@Topic" lines that start topics, "$"
// lines right after them as the fixed header, #highlighted# text,
// ~links~@Topic@ ("@:Topic@" goes to the host's own help), "~~", "##" and
// "@@" for the characters themselves. A body line that starts with a blank
// begins a paragraph, one that starts in column 1 goes on with the last.
#pragma once

#include <string>
#include <vector>

struct HlfTopic {
  std::string name;
  std::vector<std::string> header;  // without the '$'
  std::vector<std::string> body;
};

struct HlfFile {
  std::string language;        // the name before the comma
  std::string pluginContents;  // the plug-ins help list's entry, or ""
  std::vector<HlfTopic> topics;
};

// Loads `path`; false with a message in *error when the file is missing or
// lacks its .Language line.
bool LoadHlfFile(const std::string& path, HlfFile* file, std::string* error);

// The topic of that name (as FAR: ignoring ASCII case), or null.
const HlfTopic* FindTopic(const HlfFile& file, const std::string& name);

struct HlfLink {
  std::string text;
  std::string topic;  // as written between the '@'s
};
// Every link of the topic, in order.
std::vector<HlfLink> TopicLinks(const HlfTopic& topic);

struct HelpSpan {
  enum Kind { Plain, Highlight, Link } kind = Plain;
  std::string text;
  int link = -1;  // for a link: its index in TopicLinks
};
using HelpLine = std::vector<HelpSpan>;

// The header's text without its marks.
std::string TopicTitle(const HlfTopic& topic);
// The body laid out in `width` columns (one byte, one column): paragraphs
// filled, a paragraph's indent kept on its wrapped lines, a word longer
// than a line cut.
std::vector<HelpLine> FormatTopic(const HlfTopic& topic, int width);
