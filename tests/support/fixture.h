// Test fixtures: a fresh temporary folder and registry, faults and console
// reset, a watchdog on every test, and at the end a check that no handle
// leaked.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/plugin_module.h"
#include "scripted_host.h"
#include "watchdog.h"

class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // From now on every ReadFile and WriteFile takes a tenth of a second of
  // the test's clocks (tick count and system time), as on a slow disk: each
  // piece of a copy then looks for Esc, and each new name is drawn.
  void SlowPieces();

  std::filesystem::path dir;  // a fresh, empty temporary folder
  int handlesAtStart = 0;
  std::atomic<uint64_t> clockMs{0};  // SlowPieces' clocks
  // Fails a hung test (a stuck engine thread) at once; a test that needs
  // longer arms it afresh.
  std::optional<Watchdog> watchdog;
};

// A plug-in loaded the way the host loads it, with a scripted host.
class PluginTest : public PlatformTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Hands the host's record to SetStartupInfo.
  void Start();

  std::unique_ptr<ScriptedHost> host;
  PluginModule plugin;
};

// A plug-in test on two real folders: src/ is the active panel, dst/ the
// passive one; the host's record is handed over.
class TwoPanelTest : public PluginTest {
 protected:
  void SetUp() override;
  // The panel commands (Control 3 to 6: update, redraw) the plug-in sent.
  std::vector<int> PanelCommands() const;
  std::filesystem::path src, dst;
};

// The plug-in's exports: on Linux from libquickferry.so loaded with dlopen;
// on Windows from the plug-in linked into the test (the FAR-ABI harness
// loads the DLL itself).
const PluginModule& PluginUnderTest();

// True when the Windows tests run in Wine under qemu's user-mode emulation
// (a kernel that cannot run 32-bit programs; scripts/test-all.sh says so in
// QUICKFERRY_QEMU_USER). There Wine cannot examine volumes: a test that
// needs to skips with the reason.
bool UnderEmulation();

// Registry helpers below HKEY_CURRENT_USER, through the platform layer.
std::optional<DWORD> RegistryDword(const std::string& key, const std::string& name);
std::optional<std::string> RegistryString(const std::string& key, const std::string& name);
std::optional<DWORD> RegistryType(const std::string& key, const std::string& name);
bool RegistryKeyExists(const std::string& key);
void SetRegistryValue(const std::string& key, const std::string& name, DWORD type,
                      const void* data, DWORD size);
void SetRegistryString(const std::string& key, const std::string& name, const std::string& text);
void SetRegistryDword(const std::string& key, const std::string& name, DWORD value);

// A key event as the plug-in puts it into the console input.
INPUT_RECORD KeyRecord(WORD key, char character, DWORD modifiers, bool down);
