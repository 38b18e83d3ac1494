// The two panels: a folder's items as FAR lists them (".." first, then
// folders, then files, by name), with the selection and the cursor.
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host.h"

const char* ItemName(const PanelItem& item) { return item.FindData.cFileName; }

bool IsFolder(const PanelItem& item) {
  return (item.FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

namespace {

PanelItem ItemOf(const WIN32_FIND_DATAA& data) {
  PanelItem item{};
  HostFindData& f = item.FindData;
  f.dwFileAttributes = data.dwFileAttributes;
  f.ftCreationTime = data.ftCreationTime;
  f.ftLastAccessTime = data.ftLastAccessTime;
  f.ftLastWriteTime = data.ftLastWriteTime;
  f.nFileSizeHigh = data.nFileSizeHigh;
  f.nFileSizeLow = data.nFileSizeLow;
  std::snprintf(f.cFileName, sizeof f.cFileName, "%s", data.cFileName);
  std::snprintf(f.cAlternateFileName, sizeof f.cAlternateFileName, "%s", data.cAlternateFileName);
  return item;
}

bool Before(const PanelItem& a, const PanelItem& b) {
  bool dotsA = std::strcmp(ItemName(a), "..") == 0, dotsB = std::strcmp(ItemName(b), "..") == 0;
  if (dotsA != dotsB) return dotsA;
  if (IsFolder(a) != IsFolder(b)) return IsFolder(a);
  int c = strcasecmp(ItemName(a), ItemName(b));
  return c != 0 ? c < 0 : std::strcmp(ItemName(a), ItemName(b)) < 0;
}

std::vector<PanelItem> ReadFolder(const std::string& folder) {
  std::vector<PanelItem> items;
  std::string pattern = WindowsPath(folder);
  if (pattern.back() != '\\') pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAA data;
  HANDLE find = platform::FindFirstFileA(pattern.c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (std::strcmp(data.cFileName, ".") == 0) continue;
      if (std::strcmp(data.cFileName, "..") == 0 && folder == "/") continue;
      items.push_back(ItemOf(data));
    } while (platform::FindNextFileA(find, &data));
    platform::FindClose(find);
  }
  std::sort(items.begin(), items.end(), Before);
  return items;
}

int IndexOf(const Panel& panel, const std::string& name) {
  for (size_t i = 0; i < panel.all.size(); ++i)
    if (name == ItemName(panel.all[i])) return static_cast<int>(i);
  return -1;
}

}  // namespace

void LoadPanel(Panel* panel, const std::string& folder,
               const std::vector<std::string>& selectedNames, const std::string& currentName) {
  panel->folder = folder;
  panel->all = ReadFolder(folder);
  panel->selected.clear();
  // The selection in the order it was named: the plug-in copies in that order.
  for (const std::string& name : selectedNames) {
    int i = IndexOf(*panel, name);
    if (i >= 0) panel->selected.push_back(panel->all[i]);
  }
  int current = currentName.empty() ? -1 : IndexOf(*panel, currentName);
  panel->current = current >= 0 ? current : 0;
  panel->top = 0;
}

void ReloadPanel(Panel* panel, bool keepSelection) {
  std::vector<std::string> names;
  if (keepSelection)
    for (const PanelItem& item : panel->selected) names.push_back(ItemName(item));
  std::string current = panel->current < static_cast<int>(panel->all.size())
                            ? ItemName(panel->all[panel->current])
                            : "";
  int oldCurrent = panel->current;
  LoadPanel(panel, panel->folder, names, current);
  if (IndexOf(*panel, current) < 0 && !panel->all.empty())
    panel->current = std::min(oldCurrent, static_cast<int>(panel->all.size()) - 1);
}
