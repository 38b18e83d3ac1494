#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "support/fixture.h"

namespace {

namespace pt = platform::testing;
using Clock = std::chrono::steady_clock;

class SoundTest : public PlatformTest {
 protected:
  void TearDown() override {
    pt::RecordSound(false);
    pt::SetPortValue(0);
    pt::ResetTickCount();
    PlatformTest::TearDown();
  }
};

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST_F(SoundTest, RecordingTakesEveryCallInOrderWithoutSoundOrWaiting) {
  pt::SetPortValue(0x5A);
  pt::RecordSound(true);
  Clock::time_point start = Clock::now();
  EXPECT_TRUE(platform::Beep(440, 5000));
  platform::Sleep(5000);
  EXPECT_EQ(platform::PortIn(0x61), 0x5A);
  platform::PortOut(0x42, 0x97);
  EXPECT_LT(MillisecondsSince(start), 1000);

  struct Expected {
    pt::SoundEvent::Kind kind;
    DWORD first, second;
  } expected[] = {{pt::SoundEvent::Tone, 440, 5000},
                  {pt::SoundEvent::Pause, 5000, 0},
                  {pt::SoundEvent::PortRead, 0x61, 0x5A},
                  {pt::SoundEvent::PortWrite, 0x42, 0x97}};
  ASSERT_EQ(pt::SoundEventCount(), 4);
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    pt::SoundEvent event = pt::SoundEventAt(i);
    EXPECT_EQ(event.kind, expected[i].kind);
    EXPECT_EQ(event.first, expected[i].first);
    EXPECT_EQ(event.second, expected[i].second);
  }
}

TEST_F(SoundTest, ArmedFaultFailsBeepBeforeAnythingIsPlayed) {
  pt::RecordSound(true);
  pt::ArmFault("Beep", nullptr, 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_FALSE(platform::Beep(440, 75));
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(pt::SoundEventCount(), 0);
  EXPECT_TRUE(platform::Beep(440, 75));
  EXPECT_EQ(pt::SoundEventCount(), 1);
}

TEST_F(SoundTest, SetTickCountHoldsUntilResetThenTheClockRuns) {
  for (DWORD ticks : {0u, 123456u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(ticks);
    pt::SetTickCount(ticks);
    EXPECT_EQ(platform::GetTickCount(), ticks);
    platform::Sleep(20);
    EXPECT_EQ(platform::GetTickCount(), ticks);
  }
  pt::ResetTickCount();
  DWORD before = platform::GetTickCount();
  platform::Sleep(60);
  DWORD elapsed = platform::GetTickCount() - before;
  EXPECT_GE(elapsed, 50u);
  EXPECT_LT(elapsed, 2000u);
}

// Sign changes between successive non-zero samples.
int ZeroCrossings(const std::vector<short>& samples) {
  int crossings = 0, sign = 0;
  for (short sample : samples) {
    int s = sample > 0 ? 1 : sample < 0 ? -1 : 0;
    if (s == 0) continue;
    if (sign != 0 && s != sign) ++crossings;
    sign = s;
  }
  return crossings;
}

TEST_F(SoundTest, ToneSamplesHaveTheRequestedPitchAndLength) {
  struct Case {
    DWORD frequency, duration;
    int rate, count;
  } cases[] = {{440, 75, 44100, 3307},  {783, 75, 44100, 3307},   {1567, 75, 44100, 3307},
               {1000, 250, 8000, 2000}, {100, 1000, 22050, 22050}, {3000, 1, 44100, 44}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.frequency << " Hz, " << c.duration << " ms at "
                                    << c.rate);
    std::vector<short> samples(c.count + 100, 0);
    int written = pt::ToneSamples(c.frequency, c.duration, c.rate, samples.data(),
                                  static_cast<int>(samples.size()));
    ASSERT_EQ(written, c.count);
    samples.resize(written);
    double expectedCrossings = 2.0 * c.frequency * written / c.rate;
    EXPECT_NEAR(ZeroCrossings(samples), expectedCrossings, 2.0);
    int peak = 0;
    for (short sample : samples) peak = std::max(peak, std::abs(static_cast<int>(sample)));
    EXPECT_GE(peak, 4000) << "too quiet to hear";
    // Faded at both ends, so the tone neither starts nor stops with a click.
    EXPECT_LT(std::abs(samples.front()), 500);
    EXPECT_LT(std::abs(samples.back()), 500);
  }
}

TEST_F(SoundTest, ToneSamplesStopAtTheCapacityAndRefuseABadRate) {
  std::vector<short> whole(3307), part(100);
  ASSERT_EQ(pt::ToneSamples(440, 75, 44100, whole.data(), 3307), 3307);
  ASSERT_EQ(pt::ToneSamples(440, 75, 44100, part.data(), 100), 100);
  EXPECT_EQ(part, std::vector<short>(whole.begin(), whole.begin() + 100));
  EXPECT_EQ(pt::ToneSamples(440, 75, 0, part.data(), 100), 0);
  EXPECT_EQ(pt::ToneSamples(440, 0, 44100, part.data(), 100), 0);
}

#ifndef _WIN32

// Sets (or, for null, removes) an environment variable until the scope ends.
struct ScopedEnvironment {
  ScopedEnvironment(const char* name, const char* value) : name(name) {
    if (const char* old = std::getenv(name)) previous = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnvironment() {
    previous ? ::setenv(name.c_str(), previous->c_str(), 1) : ::unsetenv(name.c_str());
  }
  std::string name;
  std::optional<std::string> previous;
};

TEST_F(SoundTest, BeepLastsItsDurationWhetherOrNotADeviceOpens) {
  // The default device as the machine has it, and one on a card that does
  // not exist (ALSA's default device follows ALSA_CARD).
  for (const char* card : {static_cast<const char*>(nullptr), "QuickferryNoSuchCard"}) {
    SCOPED_TRACE(card ? card : "(machine's default)");
    ScopedEnvironment environment("ALSA_CARD", card);
    Clock::time_point start = Clock::now();
    EXPECT_TRUE(platform::Beep(880, 50));
    long long took = MillisecondsSince(start);
    EXPECT_GE(took, 45);
    EXPECT_LT(took, 2000);
  }
}

TEST_F(SoundTest, BeepSendsTheGeneratedToneToTheDefaultDevice) {
  // A default device that keeps what it is sent in a file.
  std::filesystem::path config = dir / "asound.conf", raw = dir / "tone.raw";
  {
    std::ofstream out(config);
    out << "pcm.!default { type file slave.pcm { type null } file \"" << raw.string()
        << "\" format \"raw\" }\n";
  }
  {
    ScopedEnvironment environment("ALSA_CONFIG_PATH", config.string().c_str());
    Clock::time_point start = Clock::now();
    EXPECT_TRUE(platform::Beep(783, 75));
    EXPECT_GE(MillisecondsSince(start), 70);
  }
  std::ifstream in(raw, std::ios::binary);
  ASSERT_TRUE(in) << "the device was not used";
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<short> expected(3307);
  ASSERT_EQ(pt::ToneSamples(783, 75, 44100, expected.data(), 3307), 3307);
  ASSERT_EQ(bytes.size(), expected.size() * 2);  // 16-bit mono at 44100 per second
  for (size_t i = 0; i < expected.size(); ++i) {
    short sample = static_cast<short>(static_cast<unsigned char>(bytes[2 * i]) |
                                      static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    ASSERT_EQ(sample, expected[i]) << "sample " << i;  // little-endian
  }
}

TEST_F(SoundTest, SpeakerPortsDoNothingOnLinuxUnlessRecorded) {
  pt::RecordSound(true);  // empty
  pt::RecordSound(false);
  pt::SetPortValue(0x5A);
  platform::PortOut(0x61, 0x03);
  EXPECT_EQ(platform::PortIn(0x61), 0);
  EXPECT_EQ(pt::SoundEventCount(), 0);
}

#endif

}  // namespace
