// What tests set and see of time and sound: a fixed tick count and system
// time, the recording of tones, pauses and speaker-port calls, and the tone
// generator that the Linux sound path plays.
#include <atomic>
#include <cmath>
#include <mutex>
#include <vector>

#include "../testing.h"
#include "layer.h"

namespace platform::detail {

namespace {

std::mutex g_mutex;
bool g_tickSet = false;
DWORD g_ticks = 0;
bool g_recording = false;
BYTE g_portValue = 0;
std::vector<testing::SoundEvent> g_events;
// Atomics, not the mutex: the engine asks for the system time twice per piece.
std::atomic<bool> g_systemTimeSet{false};
std::atomic<unsigned long long> g_systemTime{0};

bool Record(testing::SoundEvent::Kind kind, DWORD first, DWORD second) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_recording) return false;
  g_events.push_back({kind, first, second});
  return true;
}

// A quarter of full scale: audible without clipping a device's mixer.
constexpr double kAmplitude = 8191.0;
// Linear fade in and out, so a tone starts and stops without a click.
constexpr int kFadeMilliseconds = 3;
constexpr double kTwoPi = 6.283185307179586;

}  // namespace

bool TickOverride(DWORD* ticks) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_tickSet) *ticks = g_ticks;
  return g_tickSet;
}

bool SystemTimeOverride(FILETIME* time) {
  if (!g_systemTimeSet.load(std::memory_order_acquire)) return false;
  unsigned long long ticks = g_systemTime.load(std::memory_order_relaxed);
  time->dwLowDateTime = static_cast<DWORD>(ticks);
  time->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return true;
}

bool RecordTone(DWORD frequency, DWORD duration) {
  return Record(testing::SoundEvent::Tone, frequency, duration);
}

bool RecordPause(DWORD milliseconds) {
  return Record(testing::SoundEvent::Pause, milliseconds, 0);
}

bool RecordPortRead(WORD port, BYTE* value) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_recording) return false;
  *value = g_portValue;
  g_events.push_back({testing::SoundEvent::PortRead, port, g_portValue});
  return true;
}

bool RecordPortWrite(WORD port, BYTE value) {
  return Record(testing::SoundEvent::PortWrite, port, value);
}

int ToneSamples(DWORD frequency, DWORD duration, int rate, unsigned long long first, short* out,
                int capacity) {
  if (rate <= 0 || !out || capacity <= 0) return 0;
  const unsigned long long perSecond = static_cast<unsigned long long>(rate);
  const unsigned long long total = perSecond * duration / 1000;
  if (first >= total) return 0;
  int count = total - first < static_cast<unsigned long long>(capacity)
                  ? static_cast<int>(total - first)
                  : capacity;
  unsigned long long fade = perSecond * kFadeMilliseconds / 1000;
  if (fade > total / 2) fade = total / 2;
  for (int i = 0; i < count; ++i) {
    unsigned long long n = first + i;
    // Whole cycles are dropped in integers, so a long tone keeps its pitch
    // however far it runs.
    unsigned long long cycles = (frequency % perSecond) * (n % perSecond) % perSecond;
    double phase = static_cast<double>(cycles) / rate;
    double level = kAmplitude;
    if (n < fade) level *= static_cast<double>(n) / fade;
    if (total - 1 - n < fade) level *= static_cast<double>(total - 1 - n) / fade;
    out[i] = static_cast<short>(std::lround(level * std::sin(kTwoPi * phase)));
  }
  return count;
}

}  // namespace platform::detail

namespace platform::testing {

void SetTickCount(DWORD ticks) {
  std::lock_guard<std::mutex> lock(detail::g_mutex);
  detail::g_tickSet = true;
  detail::g_ticks = ticks;
}

void ResetTickCount() {
  std::lock_guard<std::mutex> lock(detail::g_mutex);
  detail::g_tickSet = false;
}

void SetSystemTime(unsigned long long ticks) {
  detail::g_systemTime.store(ticks, std::memory_order_relaxed);
  detail::g_systemTimeSet.store(true, std::memory_order_release);
}

void ResetSystemTime() { detail::g_systemTimeSet.store(false, std::memory_order_release); }

void RecordSound(bool on) {
  std::lock_guard<std::mutex> lock(detail::g_mutex);
  // A new recording starts empty; stopping keeps the events for reading.
  if (on) detail::g_events.clear();
  detail::g_recording = on;
}

void SetPortValue(BYTE value) {
  std::lock_guard<std::mutex> lock(detail::g_mutex);
  detail::g_portValue = value;
}

int SoundEventCount() {
  std::lock_guard<std::mutex> lock(detail::g_mutex);
  return static_cast<int>(detail::g_events.size());
}

SoundEvent SoundEventAt(int index) {
  std::lock_guard<std::mutex> lock(detail::g_mutex);
  if (index < 0 || index >= static_cast<int>(detail::g_events.size()))
    return {SoundEvent::Pause, 0, 0};
  return detail::g_events[index];
}

int ToneSamples(DWORD frequency, DWORD duration, int rate, short* out, int capacity) {
  return detail::ToneSamples(frequency, duration, rate, 0, out, capacity);
}

}  // namespace platform::testing
