#include "run.h"

#include <cstring>

#include "common/text.h"
#include "host/messages.h"
#include "run_state.h"
#include "scan/names.h"

int IsMove;
HANDLE ScreenLock;
RunOptionsRecord RunOptions;

namespace {

// Longest prompt line that fits the copy dialog.
constexpr int kPromptWidth = 62;

bool IsDotDot(const PanelItem& item) { return std::strcmp(item.FindData.cFileName, "..") == 0; }

// The panel's folder with one trailing backslash, or "" when it is hidden or
// shows no folder (quick view, information).
bool PassiveDestination(const PanelInfo& passive, RunStart* start) {
  start->defaultDestination[0] = 0;
  start->passiveIsPlugin = passive.Plugin != 0;
  if (start->passiveIsPlugin) return CopyText(start->defaultDestination, 512, "plugin:");
  if (passive.PanelType == PanelTypeQuickView || passive.PanelType == PanelTypeInformation ||
      !passive.Visible)
    return true;
  char folder[sizeof passive.CurDir + 1] = {};
  std::memcpy(folder, passive.CurDir, sizeof passive.CurDir);  // the host's text may lack its end
  size_t length = std::strlen(folder);
  bool fits = CopyText(start->defaultDestination, 512, folder);
  if (fits && (length == 0 || folder[length - 1] != '\\'))
    fits = AppendText(start->defaultDestination, 512, "\\");
  return fits;
}

}  // namespace

int ReadPanelsAndPrompt(int isMove, int currentItemOnly, PanelInfo* active, RunStart* start) {
  std::memset(start, 0, sizeof *start);
  PanelInfo passive{};
  Host.Control(INVALID_HANDLE_VALUE, ControlGetPassivePanel, &passive);
  if (!PassiveDestination(passive, start)) start->defaultDestination[0] = 0;

  std::memset(active, 0, sizeof *active);
  Host.Control(INVALID_HANDLE_VALUE, ControlGetActivePanel, active);
  if (active->PanelType == PanelTypeQuickView || active->PanelType == PanelTypeInformation ||
      active->ItemsNumber <= 0 || !active->PanelItems)
    return 0;
  if (active->CurrentItem < 0 || active->CurrentItem >= active->ItemsNumber) return 0;
  const PanelItem& current = active->PanelItems[active->CurrentItem];

  bool several = active->SelectedItemsNumber > 1 && !currentItemOnly;
  if (several) {
    if (!CopyText(start->prompt, sizeof start->prompt,
                  Msg(isMove ? MsgPromptMoveSeveral : MsgPromptCopySeveral)))
      return 0;
  } else {
    bool fromSelection =
        active->SelectedItemsNumber > 0 && active->SelectedItems && !currentItemOnly;
    const PanelItem& subject = fromSelection ? active->SelectedItems[0] : current;
    if (IsDotDot(subject)) return 0;
    const char* format = Msg(isMove ? MsgPromptMoveOne : MsgPromptCopyOne);
    char name[512];
    ShortenPathLeft(subject.FindData.cFileName, name,
                    kPromptWidth - static_cast<int>(std::strlen(format)));
    if (!FormatWithText(start->prompt, sizeof start->prompt, format, name)) return 0;
  }

  char folder[sizeof active->CurDir + 1] = {};
  std::memcpy(folder, active->CurDir, sizeof active->CurDir);
  if (!CopyText(start->sourceDirectory, sizeof start->sourceDirectory, folder)) return 0;
  if (currentItemOnly &&
      !CopyText(start->defaultDestination, sizeof start->defaultDestination,
                current.FindData.cFileName))
    return 0;
  return 1;
}

int RunCopyMove(int isMove, int currentItemOnly) {
  IsMove = isMove;
  PanelInfo active;
  RunStart start;
  if (!ReadPanelsAndPrompt(isMove, currentItemOnly, &active, &start)) return 0;
  // The copy dialog and the phases after it join here; until then the run
  // ends without touching any file.
  return 1;
}
