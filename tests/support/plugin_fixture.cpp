#include <gtest/gtest.h>

#include "fixture.h"
#include "files.h"

#ifdef _WIN32
#include "plugin/plugin.h"
#endif

const PluginModule& PluginUnderTest() {
  static PluginModule module = [] {
    PluginModule m;
#ifdef _WIN32
    m.SetStartupInfo = &::SetStartupInfo;
    m.GetPluginInfo = &::GetPluginInfo;
    m.OpenPlugin = &::OpenPlugin;
    m.Configure = &::Configure;
#else
    std::string error;
    if (!LoadPluginModule(QUICKFERRY_PLUGIN_PATH, &m, &error)) ADD_FAILURE() << error;
#endif
    return m;
  }();
  return module;
}

void PluginTest::SetUp() {
  PlatformTest::SetUp();
  host = std::make_unique<ScriptedHost>();
  plugin = PluginUnderTest();
}

void PluginTest::TearDown() {
  EXPECT_EQ(host->unexpectedCalls, 0) << "the plug-in asked something the test did not script";
  host.reset();
  PlatformTest::TearDown();
}

void PluginTest::Start() { plugin.SetStartupInfo(&host->record); }


void TwoPanelTest::SetUp() {
  PluginTest::SetUp();
  Start();
  src = dir / "src";
  dst = dir / "dst";
  std::filesystem::create_directories(src);
  std::filesystem::create_directories(dst);
  host->active.folder = WindowsPath(src);
  host->passive.folder = WindowsPath(dst);
}

std::vector<int> TwoPanelTest::PanelCommands() const {
  std::vector<int> commands;
  for (const auto& call : host->controlCalls)
    if (call.command >= 3 && call.command <= 6) commands.push_back(call.command);
  return commands;
}
