#include "messages.h"

#include <cstdio>

HostServices Host;
int HostVersion;
const char* MessageTable[MessageCount];

// A fixed table filled again at each entry point: nothing to allocate, so
// nothing can fail, and the host's texts stay valid when it is replaced.
void LoadMessages() {
  for (int id = 0; id < MessageCount; ++id) {
    const char* text = Host.GetMsg ? Host.GetMsg(Host.ModuleNumber, id) : nullptr;
    MessageTable[id] = text ? text : "";
  }
}

void FormatMenuString(char* out) { std::snprintf(out, 512, "[&>] %s", Msg(MsgTitle)); }
