#include "tune.h"

#include "settings.h"

namespace {

enum Note { A4, B4, C5, D5, E5, F5, G5, A5, B5, C6, D6, E6, F6, G6, NoteCount };

// Single precision throughout: the tune's pitches are what these floats
// give, truncated (G5 sounds at 783 Hz, not 784).
constexpr float WholeTone = 1.1224620f;
constexpr float Semitone = 1.0594631f;
constexpr float ReferencePitch = 440.0f;

float NoteFrequency[NoteCount];

// Computed when the library is loaded (the static initializer below).
void ComputeNoteTable() {
  // The steps from A4 up to G5: B, C, D, E, F, G.
  const float steps[] = {WholeTone, Semitone, WholeTone, WholeTone, Semitone, WholeTone};
  NoteFrequency[A4] = ReferencePitch;
  for (int note = B4; note <= G5; ++note) {
    // Through memory: an x87 register would carry more than a float's digits.
    volatile float next = NoteFrequency[note - 1] * steps[note - 1];
    NoteFrequency[note] = next;
  }
  for (int note = A4; note <= G5; ++note) NoteFrequency[note + A5] = NoteFrequency[note] * 2.0f;
}

[[maybe_unused]] const bool NoteTableReady = (ComputeNoteTable(), true);

constexpr int ArpeggioLength = 6;
constexpr Note Arpeggios[][ArpeggioLength] = {
    {A4, A5, C6, E6, C6, A5},  // 1: minor chord on A
    {D5, D6, F6, A5, F6, D6},  // 2: minor chord on D
    {C5, C6, E6, G6, E6, C6},  // 3: major chord on C
    {G5, G6, B5, D6, B5, G6},  // 4: major chord on G
};

// The arpeggios of tunes 1 to 3, by number; 0 ends a shorter tune.
constexpr int Tunes[][3] = {{1, 0, 0}, {3, 4, 0}, {2, 3, 4}};

// The PC speaker: gate bits in the system port, pitch from timer channel 2.
constexpr WORD SystemPort = 0x61;
constexpr WORD TimerControlPort = 0x43;
constexpr WORD TimerChannel2Port = 0x42;
constexpr BYTE SpeakerBits = 0x03;           // timer 2 gate, speaker data
constexpr BYTE Channel2SquareWave = 0xB6;    // channel 2, low then high byte, mode 3, binary
constexpr DWORD TimerClock = 1193181;        // the timer's input clock, Hz

}  // namespace

void PlayTone(DWORD frequency, DWORD duration) {
  if (Settings.IsNT) {
    platform::Beep(frequency, duration);
    return;
  }
  // No divisor for 0 Hz: a rest of the same length.
  if (frequency == 0) {
    platform::Sleep(duration);
    return;
  }
  WORD divisor = static_cast<WORD>(TimerClock / frequency);
  BYTE gate = platform::PortIn(SystemPort);
  if ((gate & SpeakerBits) == 0) {
    platform::PortOut(SystemPort, static_cast<BYTE>(gate | SpeakerBits));
    platform::PortOut(TimerControlPort, Channel2SquareWave);
  }
  platform::PortOut(TimerChannel2Port, static_cast<BYTE>(divisor & 0xFF));
  platform::PortOut(TimerChannel2Port, static_cast<BYTE>(divisor >> 8));
  platform::Sleep(duration);
  platform::PortOut(SystemPort, static_cast<BYTE>(platform::PortIn(SystemPort) & ~SpeakerBits));
}

void PlayTune(int tune) {
  if (tune < 1 || tune > 3) return;
  for (int arpeggio : Tunes[tune - 1]) {
    if (arpeggio == 0) break;
    for (Note note : Arpeggios[arpeggio - 1])
      PlayTone(static_cast<DWORD>(NoteFrequency[note]), NoteLength);
  }
}

void PlayCompletionTune(DWORD startTick) {
  // The tick count may have wrapped since the start: unsigned differences.
  if (platform::GetTickCount() - startTick > 1800000)
    PlayTune(3);
  else if (platform::GetTickCount() - startTick > 600000)
    PlayTune(2);
  else if (platform::GetTickCount() - startTick > 30000)
    PlayTune(1);
}
