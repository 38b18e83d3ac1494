#include "dialog_template.h"

#include <cstring>

void ExpandDialogItems(const DialogItemTemplate* templates, DialogItem* items, int count) {
  for (int i = 0; i < count; ++i) {
    const DialogItemTemplate& t = templates[i];
    DialogItem& item = items[i];
    std::memset(&item, 0, sizeof item);
    item.Type = t.type;
    item.X1 = t.x1;
    item.Y1 = t.y1;
    item.X2 = t.x2;
    item.Y2 = t.y2;
    item.Focus = t.focus;
    if (t.flags & ItemFlagHistory)
      item.History = reinterpret_cast<const char*>(t.selected);
    else
      item.Selected = static_cast<int>(t.selected);
    item.Flags = t.flags;
    item.DefaultButton = t.defaultButton;
    const char* text = t.text ? t.text : "";
    size_t length = strnlen(text, sizeof item.Data - 1);
    std::memcpy(item.Data, text, length);
    item.Data[length] = 0;
  }
}
