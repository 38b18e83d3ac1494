// The engine's data buffers: one per run, or two of half the size in a
// parallel run. Sized once at the start of a run from the options and the
// machine's memory, page-allocated so that unbuffered reads stay aligned.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// One piece of one entry's data inside a buffer, in buffer order. A piece
// starts at the previous piece's alignedEnd (the first at 0).
struct ChunkEntry {
  int32_t alignedEnd;  // just after the piece, raised to a multiple of 65536
  int32_t dataEnd;     // just after the piece's last data byte
  int32_t entryIndex;  // pair index; -1 ends the table
  uint8_t endsHere;    // 1: the entry's data ends in this piece
};

struct BufferState {
  uint8_t* buffer;
  int32_t bufferSize;  // usable bytes, a multiple of 65536
  HANDLE target;       // null: none; INVALID_HANDLE_VALUE: the open failed
  char targetName[512];
  char sourceName[512];
  uint64_t sizeAtOpen;  // size of target right after its open (for append)
  uint8_t appended;     // target was opened to append: it held data before
  ChunkEntry* chunks;   // room for pair count + 1 entries
};

constexpr int32_t BufferBlock = 65536;
constexpr DWORD PageSize = 4096;

// Largest size the sizing yields: the last multiple of 65536 below 2^31, so
// that offsets and the rounding up stay within a signed 32-bit count.
constexpr int32_t MaxBufferSize = 0x7FFF0000;

// The size of one buffer for the given options and physical memory:
// BufKb KiB when bufInKb, else bufPercent % of the memory (division first);
// halved for a parallel run; raised to the next multiple of 65536 (a
// multiple still gains one block). Negative settings count as 0; anything
// past MaxBufferSize is held there.
int32_t BufferSizeFor(int bufInKb, int bufKb, int bufPercent, uint32_t physicalMemory,
                      bool parallel);

// (n / 4096 + 1) committed read/write pages, or null.
void* AllocatePages(DWORD bytes);
void FreePages(void* pages);

// Sizes and allocates the buffer and the chunk table of `state` for
// `pairCount` pairs from Settings and RunOptions.Parallel; target none,
// names empty. 1 on success; 0 after showing message 36 (nothing held).
int AllocateBufferState(BufferState* state, int pairCount);
// Releases the buffer, then the chunk table; safe on a released state.
void FreeBufferState(BufferState* state);
