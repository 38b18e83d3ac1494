#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core_fixture.h"
#include "platform/testing.h"
#include "settings/settings.h"
#include "settings/tune.h"

namespace {

namespace pt = platform::testing;

class TuneTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    pt::SetPortValue(0);
    pt::RecordSound(true);
  }
  void TearDown() override {
    pt::RecordSound(false);
    pt::SetPortValue(0);
    pt::ResetTickCount();
    CoreTest::TearDown();
  }

  void UseNineXFamily() {
    pt::SetReportedVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10);
    LoadSettings();
    ASSERT_EQ(Settings.IsNT, 0);
  }
  void UseNtFamily() {
    pt::SetReportedVersion(VER_PLATFORM_WIN32_NT, 10, 0);
    LoadSettings();
    ASSERT_NE(Settings.IsNT, 0);
  }

  // The recorded tones' frequencies; every other kind of event fails the test.
  static std::vector<DWORD> Frequencies() {
    std::vector<DWORD> played;
    for (int i = 0; i < pt::SoundEventCount(); ++i) {
      pt::SoundEvent event = pt::SoundEventAt(i);
      EXPECT_EQ(event.kind, pt::SoundEvent::Tone) << "event " << i;
      EXPECT_EQ(event.second, 75u) << "event " << i;
      played.push_back(event.first);
    }
    return played;
  }
};

const std::vector<DWORD> kFirstTune = {440, 880, 1046, 1318, 1046, 880};
const std::vector<DWORD> kSecondTune = {523, 1046, 1318, 1567, 1318, 1046,
                                        783, 1567, 987,  1174, 987,  1567};
const std::vector<DWORD> kThirdTune = {587, 1174, 1396, 880,  1396, 1174, 523, 1046, 1318,
                                       1567, 1318, 1046, 783, 1567, 987,  1174, 987,  1567};

TEST_F(TuneTest, EachTunePlaysItsNotesAtTheTruncatedFrequencies) {
  UseNtFamily();
  struct Case {
    int tune;
    std::vector<DWORD> frequencies;
  } cases[] = {{1, kFirstTune}, {2, kSecondTune}, {3, kThirdTune}, {0, {}}, {4, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tune);
    pt::RecordSound(true);
    PlayTune(c.tune);
    EXPECT_EQ(Frequencies(), c.frequencies);
  }
}

TEST_F(TuneTest, CompletionTuneGrowsWithTheRunsElapsedTime) {
  UseNtFamily();
  struct Case {
    DWORD start, elapsed;
    const std::vector<DWORD>* tune;  // null: silence
  } cases[] = {
      {5000, 0, nullptr},
      {5000, 30000, nullptr},
      {5000, 30001, &kFirstTune},
      {5000, 600000, &kFirstTune},
      {5000, 600001, &kSecondTune},
      {5000, 1800000, &kSecondTune},
      {5000, 1800001, &kThirdTune},
      // Started just before the tick count wrapped.
      {0xFFFFF000u, 30000, nullptr},
      {0xFFFFF000u, 30001, &kFirstTune},
      {0xFFFFFFFFu, 600001, &kSecondTune},
      {0xFFF00000u, 1800000, &kSecondTune},
      {0xFFF00000u, 1800001, &kThirdTune},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "start " << c.start << ", elapsed " << c.elapsed);
    pt::SetTickCount(c.start + c.elapsed);
    pt::RecordSound(true);
    PlayCompletionTune(c.start);
    EXPECT_EQ(Frequencies(), c.tune ? *c.tune : std::vector<DWORD>{});
  }
}

// The recorded events as text: "r61=00" port read, "w42=97" port write,
// "p75" pause, "t440/75" tone.
std::string Events() {
  std::string text;
  char piece[32];
  for (int i = 0; i < pt::SoundEventCount(); ++i) {
    pt::SoundEvent e = pt::SoundEventAt(i);
    const char* format = e.kind == pt::SoundEvent::PortRead    ? "r%X=%02X "
                         : e.kind == pt::SoundEvent::PortWrite ? "w%X=%02X "
                         : e.kind == pt::SoundEvent::Pause     ? "p%u "
                                                               : "t%u/%u ";
    std::snprintf(piece, sizeof piece, format, unsigned(e.first), unsigned(e.second));
    text += piece;
  }
  return text;
}

TEST_F(TuneTest, NineXFamilyDrivesTheSpeakerThroughTheTimerPorts) {
  UseNineXFamily();
  struct Case {
    BYTE port61;
    DWORD frequency, duration;
    const char* events;
  } cases[] = {
      // Speaker off: gate it on and set channel 2 up first. 1193181 / 440 = 0x0A97.
      {0x00, 440, 75, "r61=00 w61=03 w43=B6 w42=97 w42=0A p75 r61=00 w61=00 "},
      // Other bits of the port are kept. 1193181 / 1567 = 0x02F9.
      {0xB0, 1567, 200, "r61=B0 w61=B3 w43=B6 w42=F9 w42=02 p200 r61=B0 w61=B0 "},
      // Already gated on: only the divisor; silenced afterwards. 1193181 / 783 = 0x05F3.
      {0x03, 783, 75, "r61=03 w42=F3 w42=05 p75 r61=03 w61=00 "},
      // One bit set is enough to skip the set-up. 1193181 / 100 = 0x2E9B.
      {0xFD, 100, 10, "r61=FD w42=9B w42=2E p10 r61=FD w61=FC "},
      // No divisor for 0 Hz: a rest, not a division by zero.
      {0x00, 0, 75, "p75 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "port 0x61 = " << int(c.port61) << ", " << c.frequency
                                    << " Hz");
    pt::SetPortValue(c.port61);
    pt::RecordSound(true);
    PlayTone(c.frequency, c.duration);
    EXPECT_EQ(Events(), c.events);
  }
}

}  // namespace
