// The host's records and call slots, laid out as FAR 1.x's ANSI plug-in
// interface lays them out (packing 2). On the 32-bit build the sizes and
// offsets are asserted against the host's measured layout, so the DLL works
// in a real FAR; the Linux build keeps the same fields with 64-bit pointers.
#pragma once

#include <cstddef>

#include "platform/platform.h"

#pragma pack(push, 2)

// Directory-search data as the host keeps it: 318 bytes, not the system's 320.
struct HostFindData {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char cFileName[260];
  char cAlternateFileName[14];
};

struct PanelItem {
  HostFindData FindData;
  DWORD PackSizeHigh;
  DWORD PackSize;
  DWORD Flags;
  DWORD NumberOfLinks;
  char* Description;
  char* Owner;
  char** CustomColumnData;
  int CustomColumnNumber;
  DWORD UserData;
  DWORD CRC32;
  DWORD Reserved[2];
};

struct HostRect {
  int left, top, right, bottom;
};

struct PanelInfo {
  int PanelType;
  int Plugin;
  HostRect PanelRect;
  PanelItem* PanelItems;
  int ItemsNumber;
  PanelItem* SelectedItems;
  int SelectedItemsNumber;
  int CurrentItem;
  int TopPanelItem;
  int Visible;
  int Focus;
  int ViewMode;
  char ColumnTypes[80];
  char ColumnWidths[80];
  char CurDir[260];
  int ShortNames;
  int SortMode;
  DWORD Flags;
  DWORD Reserved;
};

struct MenuItem {
  char Text[128];
  int Selected;
  int Checked;
  int Separator;
};

struct DialogItem {
  int Type;
  int X1, Y1, X2, Y2;
  int Focus;
  union {
    int Selected;
    const char* History;
  };
  DWORD Flags;
  int DefaultButton;
  char Data[512];
};

struct PluginInfo {
  int StructSize;
  DWORD Flags;
  const char* const* DiskMenuStrings;
  int* DiskMenuNumbers;
  int DiskMenuStringsNumber;
  const char* const* PluginMenuStrings;
  int PluginMenuStringsNumber;
  const char* const* PluginConfigStrings;
  int PluginConfigStringsNumber;
  const char* CommandPrefix;
  DWORD Reserved;
};

// The host's services, all called with the stdcall convention.
typedef int(WINAPI* MenuFunction)(int moduleNumber, int x, int y, int maxHeight, unsigned flags,
                                  const char* title, const char* bottom, const char* helpTopic,
                                  const int* breakKeys, int* breakCode, const MenuItem* items,
                                  int itemCount);
typedef int(WINAPI* DialogFunction)(int moduleNumber, int x1, int y1, int x2, int y2,
                                    const char* helpTopic, DialogItem* items, int itemCount);
typedef int(WINAPI* MessageFunction)(int moduleNumber, unsigned flags, const char* helpTopic,
                                     const char* const* lines, int lineCount, int buttonCount);
typedef const char*(WINAPI* GetMsgFunction)(int moduleNumber, int messageId);
typedef int(WINAPI* ControlFunction)(HANDLE plugin, int command, void* parameter);
typedef HANDLE(WINAPI* SaveScreenFunction)(int x1, int y1, int x2, int y2);
typedef void(WINAPI* RestoreScreenFunction)(HANDLE screen);
typedef void(WINAPI* TextFunction)(int x, int y, int color, const char* text);
typedef int(WINAPI* AdvControlFunction)(int moduleNumber, int command, void* parameter);

// The startup record as the host hands it over (372 bytes on 32-bit).
// `RecordSize` is the host's own size field; it decides whether AdvControl
// may be used. Slots the plug-in never calls are kept as plain pointers.
struct HostServices {
  int RecordSize;
  char ModuleName[260];
  int ModuleNumber;
  const char* RootKey;
  MenuFunction Menu;
  DialogFunction Dialog;
  MessageFunction Message;
  GetMsgFunction GetMsg;
  ControlFunction Control;
  SaveScreenFunction SaveScreen;
  RestoreScreenFunction RestoreScreen;
  void* GetDirList;
  void* GetPluginDirList;
  void* FreeDirList;
  void* Viewer;
  void* Editor;
  void* CmpName;
  void* CharTable;
  TextFunction Text;
  void* EditorControl;
  void* FSF;
  void* ShowHelp;
  AdvControlFunction AdvControl;
  void* InputBox;
  void* DialogEx;
  void* SendDlgMessage;
  void* DefDlgProc;
  void* Reserved;
  void* ViewerControl;
};

#pragma pack(pop)

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(HostFindData) == 318);
static_assert(sizeof(PanelItem) == 366);
static_assert(offsetof(PanelItem, PackSizeHigh) == 318 && offsetof(PanelItem, Flags) == 326 &&
              offsetof(PanelItem, Description) == 334 && offsetof(PanelItem, UserData) == 350 &&
              offsetof(PanelItem, Reserved) == 358);
static_assert(offsetof(HostFindData, cFileName) == 44 &&
              offsetof(HostFindData, cAlternateFileName) == 304);
static_assert(sizeof(PanelInfo) == 496);
static_assert(offsetof(PanelInfo, PanelItems) == 24 && offsetof(PanelInfo, SelectedItems) == 32 &&
              offsetof(PanelInfo, CurrentItem) == 40 && offsetof(PanelInfo, Visible) == 48 &&
              offsetof(PanelInfo, ColumnTypes) == 60 && offsetof(PanelInfo, CurDir) == 220 &&
              offsetof(PanelInfo, Flags) == 488);
static_assert(sizeof(MenuItem) == 140 && offsetof(MenuItem, Separator) == 136);
static_assert(sizeof(DialogItem) == 548 && offsetof(DialogItem, Selected) == 24 &&
              offsetof(DialogItem, Flags) == 28 && offsetof(DialogItem, Data) == 36);
static_assert(sizeof(PluginInfo) == 44 && offsetof(PluginInfo, PluginMenuStrings) == 20 &&
              offsetof(PluginInfo, PluginConfigStrings) == 28 &&
              offsetof(PluginInfo, CommandPrefix) == 36);
static_assert(sizeof(HostServices) == 372);
static_assert(offsetof(HostServices, ModuleNumber) == 264 && offsetof(HostServices, RootKey) == 268 &&
              offsetof(HostServices, Menu) == 272 && offsetof(HostServices, Dialog) == 276 &&
              offsetof(HostServices, Message) == 280 && offsetof(HostServices, GetMsg) == 284 &&
              offsetof(HostServices, Control) == 288 && offsetof(HostServices, SaveScreen) == 292 &&
              offsetof(HostServices, RestoreScreen) == 296 && offsetof(HostServices, Text) == 328 &&
              offsetof(HostServices, FSF) == 336 && offsetof(HostServices, AdvControl) == 344 &&
              offsetof(HostServices, ViewerControl) == 368);
#endif

// Dialog item types and flags.
enum : int {
  ItemText = 0,
  ItemDoubleBox = 3,
  ItemEdit = 4,
  ItemButton = 7,
  ItemCheckBox = 8,
  ItemRadioButton = 9,
};
enum : DWORD {
  ItemFlagCenterGroup = 0x4000,
  ItemFlagSeparator = 0x10200,
  ItemFlagHistory = 0x40000,
};

// Message flags.
enum : unsigned {
  MessageWarning = 0x1,
  MessageLeftAlign = 0x8,
};

// Panel types.
enum : int {
  PanelTypeFile = 0,
  PanelTypeTree = 1,
  PanelTypeQuickView = 2,
  PanelTypeInformation = 3,
};

// Control commands; the plug-in always passes the invalid handle (no panel
// of its own).
enum : int {
  ControlGetActivePanel = 1,
  ControlGetPassivePanel = 2,
  ControlUpdateActive = 3,
  ControlUpdatePassive = 4,
  ControlRedrawActive = 5,
  ControlRedrawPassive = 6,
  ControlSetCommandLine = 9,
};

// AdvControl commands, and the record of the key-macro command.
enum : int {
  AdvGetFarVersion = 0,  // answers major << 8 | minor | build << 16
  AdvGetColor = 4,
  AdvKeyMacro = 7,
};
struct KeyMacroCommand {
  int command;  // 0 load from the registry, 1 save to it
  int reserved[3];
};

// The host records the plug-in calls AdvControl with only when larger.
constexpr int OldHostRecordSize = 336;
