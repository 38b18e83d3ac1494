// F1: a topic of the plug-in's help file in a box over the screen, as FAR
// shows it: scrolled with the arrows, links chosen with Tab and followed
// with Enter, Backspace back to the topic before.
#include <algorithm>
#include <string>
#include <vector>

#include "common/hlf_file.h"
#include "dialogs.h"
#include "host.h"

namespace {

// FAR's help colours.
constexpr WORD kText = 0x30, kHighlight = 0x3F, kLink = 0x3E, kChosenLink = 0x0E;
constexpr WORD kBack = 0x08, kTab = 0x09, kF1 = 0x70;

const HlfFile* HelpFile(std::string* error) {
  static HlfFile file;
  static std::string loaded;
  if (loaded != TheHost.helpFile) {
    loaded.clear();
    if (!LoadHlfFile(TheHost.helpFile, &file, error)) return nullptr;
    loaded = TheHost.helpFile;
  }
  return &file;
}

// The line each link starts on.
std::vector<int> LinkLines(const std::vector<HelpLine>& lines, size_t links) {
  std::vector<int> at(links, 0);
  for (int y = static_cast<int>(lines.size()) - 1; y >= 0; --y)
    for (const HelpSpan& span : lines[y])
      if (span.kind == HelpSpan::Link && span.link >= 0 && span.link < static_cast<int>(links))
        at[span.link] = y;
  return at;
}

}  // namespace

void ShowHelp(const std::string& first) {
  std::string error;
  const HlfFile* file = HelpFile(&error);
  // The whole width, as FAR's help window: help files are written for 76
  // columns of text on an 80-column screen, a line to a paragraph in lists.
  int w = draw::Width(), h = draw::Height() - 2;
  int x1 = 0, y1 = 1, x2 = x1 + w - 1, y2 = y1 + h - 1;
  int shown = h - 2, inner = w - 4;
  Modal modal(x1, y1, x2, y2);
  std::vector<std::string> back;
  std::string name = first;
  for (;;) {
    const HlfTopic* topic = file ? FindTopic(*file, name) : nullptr;
    HlfTopic missing{name,
                     {"Help"},
                     {" " + (file ? "No topic \"" + name + "\" in " + TheHost.helpFile : error)}};
    if (!topic) topic = &missing;
    std::vector<HelpLine> lines = FormatTopic(*topic, inner);
    std::vector<HlfLink> links = TopicLinks(*topic);
    std::vector<int> linkLine = LinkLines(lines, links.size());
    int top = 0, chosen = links.empty() ? -1 : 0;
    int last = std::max(0, static_cast<int>(lines.size()) - shown);
    std::string next;
    while (next.empty()) {
      draw::Fill(x1, y1, x2, y2, kText);
      draw::Frame(x1, y1, x2, y2, kText);
      draw::Title(x1, x2, y1, TopicTitle(*topic), kText);
      for (int i = 0; i < shown && top + i < static_cast<int>(lines.size()); ++i) {
        int x = x1 + 2;
        for (const HelpSpan& span : lines[top + i]) {
          WORD colour = span.kind == HelpSpan::Highlight ? kHighlight
                        : span.kind != HelpSpan::Link    ? kText
                        : span.link == chosen            ? kChosenLink
                                                         : kLink;
          draw::Text(x, y1 + 1 + i, colour, span.text);
          x += static_cast<int>(span.text.size());
        }
      }
      draw::Title(x1, x2, y2, "Tab: link  Enter: go  BkSp: back  F1: contents  Esc: close", kText);
      draw::Shadow(x1, y1, x2, y2);
      tty::Render();
      Key k = ReadKey();
      if (IsCancel(k.vk)) return;
      top = Scrolled(k.vk, top, shown, last);
      if (k.vk == kTab && chosen >= 0) {
        int step = (k.modifiers & SHIFT_PRESSED) ? -1 : 1;
        chosen = (chosen + step + static_cast<int>(links.size())) % static_cast<int>(links.size());
        top = std::clamp(top, linkLine[chosen] - shown + 1, linkLine[chosen]);
      }
      top = std::clamp(top, 0, last);
      if (k.vk == VK_RETURN && chosen >= 0 && links[chosen].topic.rfind(':', 0) != 0)
        next = links[chosen].topic;  // FAR's own topics (":Name") are not ours to show
      if (k.vk == kF1 && name != "Contents") next = "Contents";
      if (k.vk == kBack && !back.empty()) {
        name = back.back();
        back.pop_back();
        break;
      }
    }
    if (!next.empty()) {
      back.push_back(name);
      name = next;
    }
  }
}
