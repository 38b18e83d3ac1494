// Time and sound on Linux: the monotonic clock, sleeps, and tones on ALSA's
// default device, or silence of the same length where no device plays.
#include <cerrno>
#include <ctime>

#include <sched.h>

#ifdef QUICKFERRY_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

#include "../common/layer.h"

namespace platform {

namespace {

timespec Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now;
}

timespec Later(timespec base, DWORD milliseconds) {
  base.tv_sec += milliseconds / 1000;
  base.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  if (base.tv_nsec >= 1000000000L) {
    base.tv_nsec -= 1000000000L;
    ++base.tv_sec;
  }
  return base;
}

// An absolute deadline, so interruptions by signals do not stretch the wait.
void SleepUntil(const timespec& deadline) {
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

#ifdef QUICKFERRY_HAVE_ALSA

bool Before(const timespec& a, const timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

constexpr int kRate = 44100;
constexpr unsigned kLatencyMicroseconds = 100000;
// How long past its own length a tone may take before the device is given up.
constexpr DWORD kDeviceGraceMilliseconds = 1000;

// ALSA reports a missing card on stderr, over the host's terminal screen.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

// Plays the tone on the default device, if one opens. Never waits past
// `deadline`: the device is opened non-blocking and every wait is bounded.
void PlayOnDevice(DWORD frequency, DWORD duration, const timespec& deadline) {
  static const bool quiet = (snd_lib_error_set_handler(QuietAlsa), true);
  (void)quiet;
  snd_pcm_t* pcm = nullptr;
  if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return;
  if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kRate, 1,
                         kLatencyMicroseconds) < 0) {
    snd_pcm_close(pcm);
    return;
  }
  unsigned long long total = static_cast<unsigned long long>(kRate) * duration / 1000;
  unsigned long long written = 0;
  short chunk[1024];
  while (written < total && Before(Now(), deadline)) {
    int count = detail::ToneSamples(frequency, duration, kRate, written, chunk,
                                    static_cast<int>(sizeof chunk / sizeof chunk[0]));
    snd_pcm_sframes_t done = snd_pcm_writei(pcm, chunk, count);
    if (done == -EAGAIN) {
      snd_pcm_wait(pcm, 20);
    } else if (done < 0) {
      if (snd_pcm_recover(pcm, static_cast<int>(done), 1) < 0) break;
    } else {
      written += static_cast<unsigned long long>(done);
    }
  }
  // A tone shorter than the buffer has not started by itself.
  if (snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED) snd_pcm_start(pcm);
  // Let it play out; closing would cut it off.
  while (Before(Now(), deadline)) {
    snd_pcm_sframes_t pending = 0;
    if (snd_pcm_state(pcm) != SND_PCM_STATE_RUNNING || snd_pcm_delay(pcm, &pending) < 0 ||
        pending <= 0)
      break;
    long ms = static_cast<long>(pending * 1000 / kRate);
    SleepUntil(Later(Now(), static_cast<DWORD>(ms < 1 ? 1 : ms > 10 ? 10 : ms)));
  }
  snd_pcm_close(pcm);
}

#endif  // QUICKFERRY_HAVE_ALSA

}  // namespace

DWORD GetTickCount() {
  DWORD ticks;
  if (detail::TickOverride(&ticks)) return ticks;
  timespec now = Now();
  unsigned long long ms = static_cast<unsigned long long>(now.tv_sec) * 1000ULL +
                          static_cast<unsigned long long>(now.tv_nsec) / 1000000ULL;
  return static_cast<DWORD>(ms);  // wraps at 2^32, as on Windows
}

void Sleep(DWORD milliseconds) {
  if (detail::RecordPause(milliseconds)) return;
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;) SleepUntil(Later(Now(), 86400000));
  }
  SleepUntil(Later(Now(), milliseconds));
}

BOOL Beep(DWORD frequency, DWORD duration) {
  DWORD error;
  if (detail::Fault("Beep", nullptr, &error)) {
    SetLastError(error);
    return FALSE;
  }
  if (detail::RecordTone(frequency, duration)) return TRUE;
  timespec start = Now();
  timespec end = Later(start, duration);
#ifdef QUICKFERRY_HAVE_ALSA
  if (duration > 0) PlayOnDevice(frequency, duration, Later(end, kDeviceGraceMilliseconds));
#else
  (void)frequency;
#endif
  // Silence for whatever the device did not take: the caller's rhythm holds.
  SleepUntil(end);
  return TRUE;
}

BYTE PortIn(WORD port) {
  BYTE value = 0;
  detail::RecordPortRead(port, &value);
  return value;
}

void PortOut(WORD port, BYTE value) { detail::RecordPortWrite(port, value); }

}  // namespace platform
