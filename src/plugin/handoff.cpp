#include "plugin.h"
#include "settings/macros.h"

namespace {

void PutKey(HANDLE input, WORD key, char character, DWORD modifiers, BOOL down) {
  INPUT_RECORD record{};
  record.EventType = KEY_EVENT;
  record.Event.KeyEvent.bKeyDown = down;
  record.Event.KeyEvent.wRepeatCount = 0;
  record.Event.KeyEvent.wVirtualKeyCode = key;
  record.Event.KeyEvent.wVirtualScanCode = 0;
  record.Event.KeyEvent.uChar.AsciiChar = character;
  record.Event.KeyEvent.dwControlKeyState = modifiers;
  DWORD written;
  platform::WriteConsoleInputA(input, &record, 1, &written);
}

}  // namespace

void HandOffKeys(int isMove, int runResult) {
  // Only the F5 macros are asked: F6 is always parked with F5.
  DWORD modifiers = ParkedModifiers();
  if (!modifiers) return;
  HANDLE input = platform::GetStdHandle(STD_INPUT_HANDLE);
  WORD key = isMove ? VK_F6 : VK_F5;
  PutKey(input, key, 0, modifiers, TRUE);
  PutKey(input, key, 0, modifiers, FALSE);
  if (runResult == -1) {
    PutKey(input, VK_RETURN, '\r', 0, TRUE);
    PutKey(input, VK_RETURN, '\r', 0, FALSE);
  }
}
