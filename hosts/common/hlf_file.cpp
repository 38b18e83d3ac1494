#include "hlf_file.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace {

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// One character of laid-out text and how it is shown.
struct Cell {
  char c;
  HelpSpan::Kind kind;
  int link;
};

// Reads the marks of one piece of text. Links are numbered from *links on.
std::vector<Cell> Parse(const std::string& text, int* links, std::vector<HlfLink>* found) {
  std::vector<Cell> out;
  bool highlight = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    bool doubled = i + 1 < text.size() && text[i + 1] == c;
    if ((c == '#' || c == '~' || c == '@') && doubled) {
      out.push_back({c, highlight ? HelpSpan::Highlight : HelpSpan::Plain, -1});
      ++i;
      continue;
    }
    if (c == '#') {
      highlight = !highlight;
      continue;
    }
    if (c == '~') {
      size_t close = text.find('~', i + 1);
      bool link = close != std::string::npos && close + 1 < text.size() && text[close + 1] == '@';
      size_t end = link ? text.find('@', close + 2) : std::string::npos;
      if (end != std::string::npos) {
        std::string shown = text.substr(i + 1, close - i - 1);
        if (found) found->push_back({shown, text.substr(close + 2, end - close - 2)});
        for (char s : shown) out.push_back({s, HelpSpan::Link, *links});
        ++*links;
        i = end;
        continue;
      }
    }
    out.push_back({c, highlight ? HelpSpan::Highlight : HelpSpan::Plain, -1});
  }
  return out;
}

// A laid-out line as spans, without its trailing blanks.
HelpLine Spans(std::vector<Cell> cells) {
  while (!cells.empty() && cells.back().c == ' ') cells.pop_back();
  HelpLine line;
  for (const Cell& cell : cells) {
    if (line.empty() || line.back().kind != cell.kind || line.back().link != cell.link)
      line.push_back({cell.kind, "", cell.link});
    line.back().text += cell.c;
  }
  return line;
}

}  // namespace

bool LoadHlfFile(const std::string& path, HlfFile* file, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open the help file " + path;
    return false;
  }
  *file = HlfFile{};
  bool header = false;
  size_t tab = 8;
  HlfTopic* topic = nullptr;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    for (size_t at; (at = line.find('\t')) != std::string::npos;)
      line.replace(at, 1, tab - at % tab, ' ');
    if (!topic) {
      if (StartsWith(line, ".Language=")) {
        std::string value = line.substr(10);
        file->language = value.substr(0, value.find(','));
        header = true;
      } else if (StartsWith(line, ".PluginContents=")) {
        file->pluginContents = line.substr(16);
      } else if (StartsWith(line, ".Options TabSize=")) {
        tab = std::max(1, std::atoi(line.c_str() + 17));
      }
    }
    bool topicLine =
        line.size() > 1 && line[0] == '@' && line[1] != '@' && line[1] != '-' && line[1] != '+';
    if (topicLine) {
      file->topics.push_back({line.substr(1), {}, {}});
      topic = &file->topics.back();
      continue;
    }
    if (!topic) continue;
    if (topic->body.empty() && !line.empty() && line[0] == '$')
      topic->header.push_back(line.substr(1));
    else
      topic->body.push_back(line);
  }
  for (HlfTopic& t : file->topics)
    while (!t.body.empty() && t.body.back().find_first_not_of(' ') == std::string::npos)
      t.body.pop_back();
  if (!header) {
    *error = path + ": no .Language line";
    return false;
  }
  return true;
}

const HlfTopic* FindTopic(const HlfFile& file, const std::string& name) {
  for (const HlfTopic& topic : file.topics)
    if (SameNoCase(topic.name, name)) return &topic;
  return nullptr;
}

std::vector<HlfLink> TopicLinks(const HlfTopic& topic) {
  std::vector<HlfLink> links;
  int count = 0;
  for (const std::string& line : topic.body) Parse(line, &count, &links);
  return links;
}

std::string TopicTitle(const HlfTopic& topic) {
  std::string title;
  int count = 0;
  for (const std::string& line : topic.header) {
    std::string text;
    for (const Cell& cell : Parse(line, &count, nullptr)) text += cell.c;
    size_t first = text.find_first_not_of(' '), last = text.find_last_not_of(' ');
    if (first == std::string::npos) continue;
    title += (title.empty() ? "" : " ") + text.substr(first, last - first + 1);
  }
  return title;
}

std::vector<HelpLine> FormatTopic(const HlfTopic& topic, int width) {
  std::vector<HelpLine> lines;
  if (width < 1) width = 1;
  int links = 0;
  // Paragraphs first: a blank line stands alone, a line that starts in
  // column 1 goes on with the paragraph before it.
  std::vector<std::string> paragraphs;
  bool open = false;
  for (const std::string& line : topic.body) {
    bool blank = line.find_first_not_of(' ') == std::string::npos;
    if (blank) {
      paragraphs.push_back("");
      open = false;
    } else if (open && line[0] != ' ') {
      paragraphs.back() += ' ' + line;
    } else {
      paragraphs.push_back(line);
      open = true;
    }
  }
  for (const std::string& paragraph : paragraphs) {
    std::vector<Cell> cells = Parse(paragraph, &links, nullptr);
    size_t indent = 0;
    while (indent < cells.size() && cells[indent].c == ' ') ++indent;
    if (indent >= cells.size()) {
      lines.push_back({});
      continue;
    }
    size_t room = static_cast<size_t>(width) > indent + 8 ? width - indent : width;
    size_t margin = room == static_cast<size_t>(width) ? 0 : indent;
    std::vector<Cell> line(cells.begin(), cells.begin() + margin);
    size_t used = 0, i = indent;
    while (i < cells.size()) {
      size_t end = i;
      while (end < cells.size() && cells[end].c != ' ') ++end;
      size_t word = end - i;
      if (used > 0 && used + 1 + word > room) {
        lines.push_back(Spans(line));
        line.assign(cells.begin(), cells.begin() + margin);
        used = 0;
      }
      if (used > 0) {
        line.push_back(cells[i - 1]);  // the blank before the word
        ++used;
      }
      for (; i < end; ++i) {
        if (used == room) {  // a word longer than the line
          lines.push_back(Spans(line));
          line.assign(cells.begin(), cells.begin() + margin);
          used = 0;
        }
        line.push_back(cells[i]);
        ++used;
      }
      // Blanks inside a paragraph collapse only where the line breaks: a
      // run of them lines columns up in the rest.
      size_t blanks = 0;
      while (i + blanks < cells.size() && cells[i + blanks].c == ' ') ++blanks;
      if (blanks > 1 && i + blanks < cells.size() && used + blanks - 1 < room) {
        line.insert(line.end(), cells.begin() + i, cells.begin() + i + blanks - 1);
        used += blanks - 1;
        i += blanks - 1;
      }
      i += blanks > 0 ? 1 : 0;
      if (blanks > 0 && i >= cells.size()) break;
    }
    lines.push_back(Spans(line));
  }
  return lines;
}
