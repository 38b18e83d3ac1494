// Plug-in internals under a scripted host: the host's record handed over and
// the messages loaded, as every entry point does first.
#pragma once

#include "host/messages.h"
#include "plugin/plugin.h"
#include "support/fixture.h"

class CoreTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    host = std::make_unique<ScriptedHost>();
    SetStartupInfo(&host->record);
    LoadMessages();
  }
  void TearDown() override {
    host.reset();
    PlatformTest::TearDown();
  }
  std::unique_ptr<ScriptedHost> host;
};

constexpr const char* kSettingsKey = "Software\\Far\\Plugins\\Quickferry";
