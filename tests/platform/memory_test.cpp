// Heaps, pages and the memory status, on Linux and under Wine.
#include <gtest/gtest.h>

#include <cstring>

#ifndef _WIN32
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>
#endif
#include "layer_helpers.h"

namespace {

namespace pt = platform::testing;
using MemoryTest = PlatformTest;

bool Filled(const void* block, size_t from, size_t to, unsigned char value) {
  const auto* bytes = static_cast<const unsigned char*>(block);
  for (size_t i = from; i < to; ++i)
    if (bytes[i] != value) return false;
  return true;
}

// True when nothing is mapped at the page holding `address` any more.
// Whether `address` can be read and holds `value`; read without faulting.
bool HoldsByte(const unsigned char* address, unsigned char value) {
#ifdef _WIN32
  MEMORY_BASIC_INFORMATION info;
  return ::VirtualQuery(address, &info, sizeof info) == sizeof info &&
         info.State == MEM_COMMIT && *address == value;
#else
  unsigned char byte = 0;
  iovec local{&byte, 1}, remote{const_cast<unsigned char*>(address), 1};
  return ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0) == 1 && byte == value;
#endif
}

bool PageReleased(const void* address) {
#ifdef _WIN32
  MEMORY_BASIC_INFORMATION info;
  return ::VirtualQuery(address, &info, sizeof info) == sizeof info && info.State == MEM_FREE;
#else
  long page = ::sysconf(_SC_PAGESIZE);
  void* at = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(address) & ~(page - 1));
  void* probe =
      ::mmap(at, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  if (probe != MAP_FAILED) ::munmap(probe, page);
  return probe == at;
#endif
}

TEST_F(MemoryTest, HeapDestroyFreesEveryBlockAndClosesTheHeap) {
  HANDLE heap = platform::HeapCreate(0, 0, 0);
  ASSERT_NE(heap, nullptr);
  EXPECT_EQ(pt::OpenHandleCount(), handlesAtStart + 1);
  for (int i = 0; i < 200; ++i) {
    void* block = platform::HeapAlloc(heap, 0, 100 + i * 37);
    ASSERT_NE(block, nullptr);
    if (i % 3 == 0) {
      ASSERT_TRUE(platform::HeapFree(heap, 0, block));
    }
  }
  // The rest are left to HeapDestroy; the leak sanitizer names any it missed.
  ASSERT_TRUE(platform::HeapDestroy(heap));
  EXPECT_FALSE(platform::HeapDestroy(platform::GetProcessHeap()));
  EXPECT_EQ(platform::GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(MemoryTest, HeapReAllocKeepsContentAndZeroesOnlyTheGrowth) {
  HANDLE privateHeap = platform::HeapCreate(0, 0, 0);
  for (HANDLE heap : {platform::GetProcessHeap(), privateHeap}) {
    SCOPED_TRACE(heap == privateHeap ? "private heap" : "process heap");
    auto* block = static_cast<unsigned char*>(platform::HeapAlloc(heap, 0, 100));
    ASSERT_NE(block, nullptr);
    std::memset(block, 0xAB, 100);
    // Dirty the bytes past 100, then shrink, so growing again meets them.
    block = static_cast<unsigned char*>(platform::HeapReAlloc(heap, 0, block, 5000));
    ASSERT_NE(block, nullptr);
    std::memset(block + 100, 0xEE, 4900);
    block = static_cast<unsigned char*>(platform::HeapReAlloc(heap, 0, block, 100));
    block =
        static_cast<unsigned char*>(platform::HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 70000));
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(Filled(block, 0, 100, 0xAB));
    EXPECT_TRUE(Filled(block, 100, 70000, 0));
    EXPECT_TRUE(platform::HeapFree(heap, 0, block));
  }
  EXPECT_TRUE(platform::HeapDestroy(privateHeap));
}

TEST_F(MemoryTest, ArmedFaultFailsTheNthAllocationAndKeepsTheOldBlock) {
  HANDLE heap = platform::HeapCreate(0, 0, 0);
  void* block = platform::HeapAlloc(heap, 0, 64);
  ASSERT_NE(block, nullptr);
  std::memset(block, 0x3C, 64);
  pt::ArmFault("HeapAlloc", nullptr, 2, ERROR_OUTOFMEMORY);
  void* first = platform::HeapAlloc(heap, 0, 8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(platform::HeapAlloc(heap, 0, 8), nullptr);
  EXPECT_EQ(platform::GetLastError(), ERROR_OUTOFMEMORY);
  pt::ArmFault("HeapReAlloc", nullptr, 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(platform::HeapReAlloc(heap, 0, block, 1 << 20), nullptr);
  EXPECT_TRUE(Filled(block, 0, 64, 0x3C));
  pt::ArmFault("HeapCreate", nullptr, 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(platform::HeapCreate(0, 0, 0), nullptr);  // and no handle counted
  pt::ArmFault("VirtualAlloc", nullptr, 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(platform::VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE), nullptr);
  // Freeing the kept block again would be a double free the sanitizer reports.
  EXPECT_TRUE(platform::HeapFree(heap, 0, block));
  EXPECT_TRUE(platform::HeapFree(heap, 0, first));
  EXPECT_TRUE(platform::HeapDestroy(heap));
}

#ifndef _WIN32
// Windows corrupts a heap given another heap's block; Linux refuses it.
TEST_F(MemoryTest, HeapFreeRefusesABlockOfAnotherHeap) {
  HANDLE heap = platform::HeapCreate(0, 0, 0), process = platform::GetProcessHeap();
  void* mine = platform::HeapAlloc(heap, 0, 16);
  void* shared = platform::HeapAlloc(process, 0, 16);
  EXPECT_FALSE(platform::HeapFree(process, 0, mine));
  EXPECT_EQ(platform::GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(platform::HeapFree(heap, 0, shared));
  EXPECT_TRUE(platform::HeapFree(process, 0, shared));  // once only, or the sanitizer says so
  EXPECT_TRUE(platform::HeapDestroy(heap));
}
#endif

TEST_F(MemoryTest, VirtualAllocGivesAlignedPagesThatReleaseWhole) {
  for (SIZE_T size : {SIZE_T{1}, SIZE_T{4097}, SIZE_T{(1 << 20) + 1}}) {
    SCOPED_TRACE(size);
    auto* pages = static_cast<unsigned char*>(
        platform::VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(pages) % 4096, 0u);
    std::memset(pages, 0x77, size);
    EXPECT_FALSE(platform::VirtualFree(pages, size, MEM_RELEASE)) << "release takes size 0";
    ASSERT_TRUE(platform::VirtualFree(pages, 0, MEM_RELEASE));
    // Another thread (the watchdog, the sanitizer's allocator) may map the
    // freed range at once; then it holds fresh memory, never our bytes.
    auto gone = [](unsigned char* p) { return PageReleased(p) || !HoldsByte(p, 0x77); };
    EXPECT_TRUE(gone(pages));
    EXPECT_TRUE(gone(pages + size - 1)) << "the whole allocation goes";
  }
}

TEST_F(MemoryTest, GlobalMemoryStatusCapsPhysicalMemoryAs32BitWindowsDoes) {
  MEMORYSTATUS status;
  platform::GlobalMemoryStatus(&status);
  EXPECT_LE(status.dwAvailPhys, status.dwTotalPhys);
#ifdef _WIN32
  // 2 GiB - 1 or 4 GiB - 1 by the program's mark; a large machine must not wrap.
  MEMORYSTATUSEX real;
  real.dwLength = sizeof real;
  ASSERT_TRUE(::GlobalMemoryStatusEx(&real));
  EXPECT_GE(status.dwTotalPhys, std::min<DWORDLONG>(real.ullTotalPhys, 0x7FFFFFFF));
#else
  unsigned long long real = static_cast<unsigned long long>(::sysconf(_SC_PHYS_PAGES)) *
                            static_cast<unsigned long long>(::sysconf(_SC_PAGESIZE));
  EXPECT_EQ(status.dwTotalPhys, std::min<unsigned long long>(real, 0xFFFFFFFFull));
  EXPECT_LE(status.dwTotalPageFile, 0xFFFFFFFFull);
#endif
}

}  // namespace
