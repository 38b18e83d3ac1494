#include "buffers.h"

#include <cstdint>

#include "common/run_state.h"
#include "host/messages.h"
#include "prompts.h"
#include "settings/settings.h"

static_assert(sizeof(ChunkEntry) == 16, "the chunk table is sized at 16 bytes an entry");
static_assert(MaxBufferSize % BufferBlock == 0, "the largest size is a whole number of blocks");

namespace {

int64_t NotNegative(int value) { return value < 0 ? 0 : value; }

}  // namespace

int32_t BufferSizeFor(int bufInKb, int bufKb, int bufPercent, uint32_t physicalMemory,
                      bool parallel) {
  // 64-bit arithmetic: options are not range-checked, and their product may
  // pass 2^31 long before the hold below.
  int64_t size;
  if (bufInKb != 0)
    size = NotNegative(bufKb) * 1024;
  else
    size = static_cast<int64_t>(physicalMemory / 100) * NotNegative(bufPercent);
  if (parallel) size /= 2;
  size = (size / BufferBlock + 1) * BufferBlock;
  return size > MaxBufferSize ? MaxBufferSize : static_cast<int32_t>(size);
}

void* AllocatePages(DWORD bytes) {
  uint64_t size = (static_cast<uint64_t>(bytes) / PageSize + 1) * PageSize;
  if constexpr (sizeof(SIZE_T) < sizeof size) {
    if (size > static_cast<SIZE_T>(-1)) {  // near 4 GiB the 32-bit count would wrap to 0
      platform::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
  }
  return platform::VirtualAlloc(nullptr, static_cast<SIZE_T>(size), MEM_COMMIT | MEM_RESERVE,
                                PAGE_READWRITE);
}

void FreePages(void* pages) {
  if (pages) platform::VirtualFree(pages, 0, MEM_RELEASE);
}

int AllocateBufferState(BufferState* state, int pairCount) {
  state->buffer = nullptr;
  state->bufferSize = 0;
  state->target = nullptr;
  state->targetName[0] = 0;
  state->sourceName[0] = 0;
  state->sizeAtOpen = 0;
  state->chunks = nullptr;

  MEMORYSTATUS memory = {};
  memory.dwLength = sizeof memory;
  platform::GlobalMemoryStatus(&memory);
  int32_t size = BufferSizeFor(Settings.BufInKb, Settings.BufKb, Settings.BufPercent,
                               static_cast<uint32_t>(memory.dwTotalPhys), RunOptions.Parallel != 0);
  uint8_t* buffer = static_cast<uint8_t*>(AllocatePages(static_cast<DWORD>(size)));
  if (!buffer) {
    ShowErrorBox(Msg(MsgNoMemory));
    return 0;
  }

  // With the extra page even a run of no pairs has room for the end mark.
  uint64_t tableBytes = static_cast<uint64_t>(pairCount < 0 ? 0 : pairCount) * sizeof(ChunkEntry);
  ChunkEntry* chunks = nullptr;
  if (tableBytes < UINT32_MAX)
    chunks = static_cast<ChunkEntry*>(AllocatePages(static_cast<DWORD>(tableBytes)));
  else
    platform::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  if (!chunks) {
    DWORD error = platform::GetLastError();  // the box tells why, not the free
    FreePages(buffer);
    platform::SetLastError(error);
    ShowErrorBox(Msg(MsgNoMemory));
    return 0;
  }

  state->buffer = buffer;
  state->bufferSize = size;
  state->chunks = chunks;
  return 1;
}

void FreeBufferState(BufferState* state) {
  FreePages(state->buffer);
  state->buffer = nullptr;
  FreePages(state->chunks);
  state->chunks = nullptr;
}
