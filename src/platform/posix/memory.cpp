// Heaps, pages and the memory status on Linux.
//
// Every heap block carries a small header with its size and its heap, so
// HeapReAlloc knows how much of a block is new and HeapFree can refuse a
// block of another heap. A private heap keeps the set of its blocks, so
// HeapDestroy frees them all; the process heap is plain malloc.
#include <sys/mman.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_set>
#include <utility>

#include "../common/layer.h"
#include "errors.h"
#include "pages.h"

namespace platform {
namespace {

constexpr DWORD ERROR_INVALID_ADDRESS = 487;

struct Heap;

struct alignas(alignof(std::max_align_t)) BlockHeader {
  SIZE_T size;  // as asked, for HeapReAlloc's zeroing
  Heap* heap;
};

struct Heap {
  std::unordered_set<BlockHeader*> blocks;  // private heaps only
};

Heap g_processHeap;

// Guards the set of private heaps and their block sets; the process heap
// needs no lock.
std::mutex g_heapMutex;
std::unordered_set<Heap*> g_heaps;

BlockHeader* HeaderOf(LPVOID block) { return static_cast<BlockHeader*>(block) - 1; }
LPVOID BlockOf(BlockHeader* header) { return header + 1; }

LPVOID NoMemory(DWORD error = ERROR_NOT_ENOUGH_MEMORY) {
  SetLastError(error);
  return nullptr;
}

BlockHeader* Allocate(SIZE_T bytes, bool zero) {
  if (bytes > SIZE_MAX / 2) return nullptr;
  void* raw =
      zero ? std::calloc(1, sizeof(BlockHeader) + bytes) : std::malloc(sizeof(BlockHeader) + bytes);
  return static_cast<BlockHeader*>(raw);
}

// The private heap behind `handle`, with g_heapMutex held; null when the
// handle names no live heap.
Heap* PrivateHeap(HANDLE handle) {
  Heap* heap = static_cast<Heap*>(handle);
  return g_heaps.count(heap) ? heap : nullptr;
}

// Pages given out by VirtualAlloc and their lengths, for MEM_RELEASE.
std::mutex g_pagesMutex;
std::map<void*, size_t> g_pages;

constexpr SIZE_T kReportedMax = 0xFFFFFFFFu;  // what a 32-bit SIZE_T holds

SIZE_T Capped(unsigned long long bytes) {
  return static_cast<SIZE_T>(std::min<unsigned long long>(bytes, kReportedMax));
}

}  // namespace

namespace detail {

void PrepareLargeFill(void* start, size_t bytes) {
  constexpr uintptr_t kLargePage = 2u << 20;
  uintptr_t from = reinterpret_cast<uintptr_t>(start), to;
  {
    std::lock_guard<std::mutex> lock(g_pagesMutex);
    auto it = g_pages.upper_bound(start);
    if (it == g_pages.begin()) return;
    --it;
    uintptr_t blockEnd = reinterpret_cast<uintptr_t>(it->first) + it->second;
    if (from >= blockEnd) return;
    to = from + std::min<uintptr_t>(bytes, blockEnd - from);
  }
  from = (from + kLargePage - 1) & ~(kLargePage - 1);
  to &= ~(kLargePage - 1);
  if (from >= to) return;
  void* range = reinterpret_cast<void*>(from);
  ::madvise(range, to - from, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
  // Older kernels refuse it: the pages then come one fault at a time.
  ::madvise(range, to - from, MADV_POPULATE_WRITE);
#endif
}

}  // namespace detail

HANDLE GetProcessHeap() { return &g_processHeap; }

HANDLE HeapCreate(DWORD, SIZE_T, SIZE_T) {
  DWORD error;
  if (detail::Fault("HeapCreate", nullptr, &error)) return NoMemory(error);
  std::unique_ptr<Heap> heap(new (std::nothrow) Heap);
  if (!heap) return NoMemory();
  try {
    std::lock_guard<std::mutex> lock(g_heapMutex);
    g_heaps.insert(heap.get());
  } catch (const std::bad_alloc&) {
    return NoMemory();
  }
  detail::HandleOpened();
  return heap.release();
}

BOOL HeapDestroy(HANDLE handle) {
  Heap* heap;
  {
    std::lock_guard<std::mutex> lock(g_heapMutex);
    heap = PrivateHeap(handle);
    if (!heap) return detail::Fail(ERROR_INVALID_HANDLE);
    g_heaps.erase(heap);
  }
  for (BlockHeader* header : heap->blocks) std::free(header);
  delete heap;
  detail::HandleClosed();
  return TRUE;
}

LPVOID HeapAlloc(HANDLE handle, DWORD flags, SIZE_T bytes) {
  DWORD error;
  if (detail::Fault("HeapAlloc", nullptr, &error)) return NoMemory(error);
  if (handle == &g_processHeap) {
    BlockHeader* header = Allocate(bytes, flags & HEAP_ZERO_MEMORY);
    if (!header) return NoMemory();
    *header = BlockHeader{bytes, &g_processHeap};
    return BlockOf(header);
  }
  std::lock_guard<std::mutex> lock(g_heapMutex);
  Heap* heap = PrivateHeap(handle);
  if (!heap) return NoMemory(ERROR_INVALID_HANDLE);
  BlockHeader* header = Allocate(bytes, flags & HEAP_ZERO_MEMORY);
  if (!header) return NoMemory();
  *header = BlockHeader{bytes, heap};
  try {
    heap->blocks.insert(header);
  } catch (const std::bad_alloc&) {
    std::free(header);
    return NoMemory();
  }
  return BlockOf(header);
}

BOOL HeapFree(HANDLE handle, DWORD, LPVOID block) {
  if (!block) return TRUE;
  BlockHeader* header = HeaderOf(block);
  if (handle == &g_processHeap) {
    if (header->heap != &g_processHeap) return detail::Fail(ERROR_INVALID_PARAMETER);
    std::free(header);
    return TRUE;
  }
  std::lock_guard<std::mutex> lock(g_heapMutex);
  Heap* heap = PrivateHeap(handle);
  if (!heap) return detail::Fail(ERROR_INVALID_HANDLE);
  // Only a block the heap knows is freed: a stray pointer is refused.
  if (!heap->blocks.erase(header)) return detail::Fail(ERROR_INVALID_PARAMETER);
  std::free(header);
  return TRUE;
}

LPVOID HeapReAlloc(HANDLE handle, DWORD flags, LPVOID block, SIZE_T bytes) {
  DWORD error;
  if (detail::Fault("HeapReAlloc", nullptr, &error)) return NoMemory(error);
  if (!block) return NoMemory(ERROR_INVALID_PARAMETER);
  BlockHeader* header = HeaderOf(block);
  std::unique_lock<std::mutex> lock(g_heapMutex, std::defer_lock);
  Heap* heap = &g_processHeap;
  if (handle == &g_processHeap) {
    if (header->heap != &g_processHeap) return NoMemory(ERROR_INVALID_PARAMETER);
  } else {
    lock.lock();
    heap = PrivateHeap(handle);
    if (!heap) return NoMemory(ERROR_INVALID_HANDLE);
    if (!heap->blocks.count(header)) return NoMemory(ERROR_INVALID_PARAMETER);
  }
  if (bytes > SIZE_MAX / 2) return NoMemory();
  SIZE_T old = header->size;
  // The set's node is taken out before the block may move (the old pointer
  // is not touched once realloc has run) and put back with the new address;
  // reusing the node means nothing is allocated and nothing can fail.
  bool tracked = heap != &g_processHeap;
  decltype(heap->blocks)::node_type node;
  if (tracked) node = heap->blocks.extract(header);
  // On failure realloc leaves the old block as it was.
  auto* moved = static_cast<BlockHeader*>(std::realloc(header, sizeof(BlockHeader) + bytes));
  if (!moved) {
    if (tracked) heap->blocks.insert(std::move(node));
    return NoMemory();
  }
  moved->size = bytes;
  if (tracked) {
    node.value() = moved;
    heap->blocks.insert(std::move(node));
  }
  if ((flags & HEAP_ZERO_MEMORY) && bytes > old)
    std::memset(static_cast<char*>(BlockOf(moved)) + old, 0, bytes - old);
  return BlockOf(moved);
}

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
  DWORD error;
  if (detail::Fault("VirtualAlloc", nullptr, &error)) return NoMemory(error);
  // Only what the layer offers: fresh committed read/write pages.
  if (address || size == 0 || !(type & MEM_COMMIT) || protect != PAGE_READWRITE)
    return NoMemory(ERROR_INVALID_PARAMETER);
  size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  if (size > SIZE_MAX - page) return NoMemory();
  size_t length = (size + page - 1) / page * page;
  void* pages = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) return NoMemory();
  // Small pages unless a large read asks (PrepareLargeFill): every copied
  // file starts on a 64 KiB boundary of the copy buffer, so small files
  // touch a fraction of its pages, and each large page would be zeroed
  // whole on first touch (measured: 20% slower on 20,000 small files).
  ::madvise(pages, length, MADV_NOHUGEPAGE);
  try {
    std::lock_guard<std::mutex> lock(g_pagesMutex);
    g_pages[pages] = length;
  } catch (const std::bad_alloc&) {
    ::munmap(pages, length);
    return NoMemory();
  }
  return pages;
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
  // As on Windows, MEM_RELEASE returns a whole allocation and takes size 0.
  if (type != MEM_RELEASE || size != 0) return detail::Fail(ERROR_INVALID_PARAMETER);
  size_t length;
  {
    std::lock_guard<std::mutex> lock(g_pagesMutex);
    auto it = g_pages.find(address);
    if (it == g_pages.end()) return detail::Fail(ERROR_INVALID_ADDRESS);
    length = it->second;
    g_pages.erase(it);
  }
  ::munmap(address, length);
  return TRUE;
}

void GlobalMemoryStatus(MEMORYSTATUS* status) {
  unsigned long long page = static_cast<unsigned long long>(::sysconf(_SC_PAGESIZE));
  unsigned long long total = static_cast<unsigned long long>(::sysconf(_SC_PHYS_PAGES)) * page;
  unsigned long long avail = static_cast<unsigned long long>(::sysconf(_SC_AVPHYS_PAGES)) * page;
  unsigned long long swapTotal = 0, swapFree = 0;
  struct sysinfo info;
  if (::sysinfo(&info) == 0) {
    swapTotal = static_cast<unsigned long long>(info.totalswap) * info.mem_unit;
    swapFree = static_cast<unsigned long long>(info.freeswap) * info.mem_unit;
  }
  status->dwLength = sizeof(MEMORYSTATUS);
  status->dwMemoryLoad =
      total ? static_cast<DWORD>((total - std::min(avail, total)) * 100 / total) : 0;
  status->dwTotalPhys = Capped(total);
  status->dwAvailPhys = Capped(avail);
  // The page file of Windows is the commit limit: memory and swap together.
  status->dwTotalPageFile = Capped(total + swapTotal);
  status->dwAvailPageFile = Capped(avail + swapFree);
  // A large-address-aware 32-bit process on a 64-bit system; a 64-bit
  // process never runs short of address space the way that one would.
  status->dwTotalVirtual = 0xFFFE0000u;
  status->dwAvailVirtual = 0xFFFE0000u;
}

}  // namespace platform
