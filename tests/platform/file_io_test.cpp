// File contents: CreateFileA's dispositions, transfers under faults, the
// 64-bit pointer, times and compression, on Linux and against the real calls
// under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "layer_helpers.h"

#ifndef _WIN32
#include <sys/mman.h>
#endif

namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;

class FileIoTest : public layer_test::FileTreeTest {
 protected:
  HANDLE Open(const std::string& name, DWORD access, DWORD disposition, DWORD flags = 0) {
    return platform::CreateFileA(P(name).c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                                 flags ? flags : FILE_ATTRIBUTE_NORMAL, nullptr);
  }
};

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kUntouched = 0xDEAD;  // a last error no call sets

TEST_F(FileIoTest, DispositionsCreateOpenAndTruncateAsWindowsDoes) {
  fs::create_directory(dir / "d");
  struct Case {
    const char* label;
    DWORD setAttributes;  // of an existing "f" holding "old"; 0: no "f"
    const char* name;
    DWORD access, disposition, flags;
    bool ok;
    DWORD error;          // the last error afterwards; kUntouched: anything but 183
    const char* content;  // of "f" afterwards; null: no "f"
  } cases[] = {
      {"new, missing", 0, "f", kReadWrite, CREATE_NEW, 0, true, kUntouched, ""},
      {"new, existing", FILE_ATTRIBUTE_NORMAL, "f", kReadWrite, CREATE_NEW, 0, false,
       ERROR_FILE_EXISTS, "old"},
      {"always, missing", 0, "f", kReadWrite, CREATE_ALWAYS, 0, true, kUntouched, ""},
      {"always, existing", FILE_ATTRIBUTE_NORMAL, "f", kReadWrite, CREATE_ALWAYS, 0, true,
       ERROR_ALREADY_EXISTS, ""},
      {"existing, missing", 0, "f", GENERIC_READ, OPEN_EXISTING, 0, false, ERROR_FILE_NOT_FOUND,
       nullptr},
      {"existing, existing", FILE_ATTRIBUTE_NORMAL, "f", GENERIC_READ, OPEN_EXISTING, 0, true,
       kUntouched, "old"},
      {"open always, missing", 0, "f", kReadWrite, OPEN_ALWAYS, 0, true, kUntouched, ""},
      {"open always, existing", FILE_ATTRIBUTE_NORMAL, "f", kReadWrite, OPEN_ALWAYS, 0, true,
       ERROR_ALREADY_EXISTS, "old"},
      {"truncate, missing", 0, "f", GENERIC_WRITE, TRUNCATE_EXISTING, 0, false,
       ERROR_FILE_NOT_FOUND, nullptr},
      {"truncate, existing", FILE_ATTRIBUTE_NORMAL, "f", GENERIC_WRITE, TRUNCATE_EXISTING, 0, true,
       kUntouched, ""},
      {"missing folder", 0, "no\\f", kReadWrite, CREATE_ALWAYS, 0, false, ERROR_PATH_NOT_FOUND,
       nullptr},
      {"read-only replaced", FILE_ATTRIBUTE_READONLY, "f", kReadWrite, CREATE_ALWAYS, 0, false,
       ERROR_ACCESS_DENIED, "old"},
      {"read-only written", FILE_ATTRIBUTE_READONLY, "f", GENERIC_WRITE, OPEN_EXISTING, 0, false,
       ERROR_ACCESS_DENIED, "old"},
      {"read-only read", FILE_ATTRIBUTE_READONLY, "f", GENERIC_READ, OPEN_EXISTING, 0, true,
       kUntouched, "old"},
      {"hidden replaced plainly", FILE_ATTRIBUTE_HIDDEN, "f", kReadWrite, CREATE_ALWAYS,
       FILE_ATTRIBUTE_NORMAL, false, ERROR_ACCESS_DENIED, "old"},
      {"hidden replaced as hidden", FILE_ATTRIBUTE_HIDDEN, "f", kReadWrite, CREATE_ALWAYS,
       FILE_ATTRIBUTE_HIDDEN, true, ERROR_ALREADY_EXISTS, ""},
      {"folder as a file", 0, "d", GENERIC_READ, OPEN_EXISTING, 0, false, ERROR_ACCESS_DENIED,
       nullptr},
      {"folder for backup", 0, "d", GENERIC_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, true,
       kUntouched, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    // Wine checks read-only through Unix permissions, which root passes, and
    // replaces hidden files plainly.
    if (layer_test::OnWine() && !c.ok &&
        (c.setAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)))
      continue;
    if (c.setAttributes) {
      Write("f", "old");
      ASSERT_TRUE(platform::SetFileAttributesA(P("f").c_str(), c.setAttributes));
    }
    platform::SetLastError(kUntouched);
    HANDLE file = Open(c.name, c.access, c.disposition, c.flags);
    EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.ok);
    if (c.error == kUntouched)
      EXPECT_NE(platform::GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    else
      EXPECT_EQ(platform::GetLastError(), c.error);
    if (file != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(platform::CloseHandle(file));
    }
    if (c.content)
      EXPECT_EQ(Read("f"), c.content);
    else
      EXPECT_FALSE(fs::exists(dir / "f"));
    if (fs::exists(dir / "f")) {
      platform::SetFileAttributesA(P("f").c_str(), FILE_ATTRIBUTE_NORMAL);
      fs::remove(dir / "f");
    }
  }
}

TEST_F(FileIoTest, PointerAndSizeReachBeyondFourGiBAndRefuseNegativeSeeks) {
  HANDLE file = Open("big", kReadWrite, CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  constexpr unsigned long long kSize = (5ULL << 30) + 7;  // sparse: no blocks written
  LONG high = static_cast<LONG>(kSize >> 32);
  EXPECT_EQ(platform::SetFilePointer(file, static_cast<LONG>(kSize), &high, FILE_BEGIN),
            static_cast<DWORD>(kSize));
  if (!platform::SetEndOfFile(file)) {
    DWORD error = platform::GetLastError();
    platform::CloseHandle(file);
    GTEST_SKIP() << "the file system refuses a 5 GiB file, error " << error;
  }
  DWORD sizeHigh = 0;
  EXPECT_EQ(platform::GetFileSize(file, &sizeHigh), static_cast<DWORD>(kSize));
  EXPECT_EQ(sizeHigh, static_cast<DWORD>(kSize >> 32));

  // Write the last 3 bytes from the end, read them back from a 64-bit offset.
  high = -1;
  EXPECT_EQ(platform::SetFilePointer(file, -3, &high, FILE_END), static_cast<DWORD>(kSize - 3));
  EXPECT_EQ(high, static_cast<LONG>(kSize >> 32));
  DWORD done = 0;
  ASSERT_TRUE(platform::WriteFile(file, "xyz", 3, &done, nullptr));
  high = static_cast<LONG>((kSize - 4) >> 32);
  platform::SetFilePointer(file, static_cast<LONG>(kSize - 4), &high, FILE_BEGIN);
  char back[8] = {};
  ASSERT_TRUE(platform::ReadFile(file, back, sizeof back, &done, nullptr));
  EXPECT_EQ(std::string(back, done), std::string("\0xyz", 4));

  // A seek before the start fails and leaves the pointer where it was.
  high = 0;
  platform::SetFilePointer(file, 10, &high, FILE_BEGIN);
  high = -1;
  EXPECT_EQ(platform::SetFilePointer(file, -11, &high, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_NEGATIVE_SEEK);
  high = 0;
  EXPECT_EQ(platform::SetFilePointer(file, 0, &high, FILE_CURRENT), 10u);
  EXPECT_TRUE(platform::CloseHandle(file));
}

TEST_F(FileIoTest, FaultedTransfersReportAndTheRestContinuesAtTheRightPlace) {
  const std::string text = "0123456789";
  struct Case {
    const char* label;
    bool read;
    DWORD count;       // bytes the fault lets through
    DWORD error;       // reported after them; ERROR_SUCCESS: a short transfer
    const char* path;  // the pattern armed
    DWORD firstDone;   // bytes moved by the faulted call
  } cases[] = {
      {"short write", false, 3, ERROR_SUCCESS, "*\\f", 3},
      {"short read", true, 4, ERROR_SUCCESS, "*\\f", 4},
      {"disk full", false, 0, ERROR_DISK_FULL, "*\\f", 0},
      {"read error", true, 0, ERROR_READ_FAULT, "*\\f", 0},
      {"3 bytes, then disk full", false, 3, ERROR_DISK_FULL, "*\\f", 3},
      {"4 bytes, then a read error", true, 4, ERROR_READ_FAULT, "*\\f", 4},
      {"other file's fault", false, 3, ERROR_SUCCESS, "*\\g", 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    pt::ResetFaults();
    if (c.read) Write("f", text);
    HANDLE file =
        Open("f", c.read ? GENERIC_READ : GENERIC_WRITE, c.read ? OPEN_EXISTING : CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const char* op = c.read ? "ReadFile" : "WriteFile";
    if (c.count == 0)
      pt::ArmFault(op, c.path, 1, c.error);
    else if (c.error == ERROR_SUCCESS)
      pt::ArmShortFault(op, c.path, 1, c.count);
    else
      pt::ArmTransferFault(op, c.path, 1, c.count, c.error);
    char buffer[16] = {};
    auto transfer = [&](size_t from, DWORD* done) {
      DWORD count = static_cast<DWORD>(text.size() - from);
      return c.read ? platform::ReadFile(file, buffer + from, count, done, nullptr)
                    : platform::WriteFile(file, text.data() + from, count, done, nullptr);
    };
    DWORD done = 99;
    EXPECT_EQ(transfer(0, &done) != FALSE, c.error == ERROR_SUCCESS);
    EXPECT_EQ(done, c.firstDone);
    if (c.error != ERROR_SUCCESS) {
      EXPECT_EQ(platform::GetLastError(), c.error);
    }
    // What moved counts: the next call goes on right after it.
    if (done < text.size()) {
      DWORD rest = 0;
      EXPECT_TRUE(transfer(done, &rest));
      EXPECT_EQ(done + rest, text.size());
    }
    EXPECT_TRUE(platform::CloseHandle(file));
    EXPECT_EQ(Read("f"), text);
    if (c.read) {
      EXPECT_EQ(std::string(buffer, text.size()), text);
    }
  }
}

// Many small unbuffered pieces back to back into page-allocated memory
// larger than the file. Every byte arrives in order, and memory past
// what the file fills is never touched (a large file's memory is readied
// ahead of its reads).
TEST_F(FileIoTest, UnbufferedReadsGiveEveryByteInOrderAndTouchOnlyWhatTheyFill) {
  // Larger than the read-ahead window, so pages behind are dropped meanwhile.
  std::string data(9 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 7919) >> 9);
  Write("f", data);
  HANDLE file =
      Open("f", GENERIC_READ, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  constexpr size_t kBlock = 32 << 20;
  auto* buffer = static_cast<char*>(
      platform::VirtualAlloc(nullptr, kBlock, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ASSERT_NE(buffer, nullptr);
  size_t got = 0;
  DWORD done = 0;
  while (got + 10240 <= kBlock && platform::ReadFile(file, buffer + got, 10240, &done, nullptr) &&
         done)
    got += done;
  EXPECT_TRUE(platform::CloseHandle(file));
  EXPECT_EQ(got, data.size());
  EXPECT_TRUE(std::string(buffer, got) == data);
#ifndef _WIN32
  // The file's 9 MiB, rounded up to a whole large page: 10 MiB at most.
  constexpr size_t kFilled = 10 << 20, kPage = 4096;
  std::vector<unsigned char> resident((kBlock - kFilled) / kPage);
  ASSERT_EQ(::mincore(buffer + kFilled, kBlock - kFilled, resident.data()), 0);
  size_t touched = 0;
  for (unsigned char page : resident) touched += page & 1;
  EXPECT_EQ(touched, 0u) << "pages past the file's data were touched";
#endif
  EXPECT_TRUE(platform::VirtualFree(buffer, 0, MEM_RELEASE));
}

TEST_F(FileIoTest, CreatedFileKeepsItsAttributesAndTimesAsFindReportsThem) {
  constexpr DWORD kGiven = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
  HANDLE file = Open("f", kReadWrite, CREATE_NEW, kGiven);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD done;
  ASSERT_TRUE(platform::WriteFile(file, "abc", 3, &done, nullptr));  // read-only, but not to us
  const FILETIME written{0x12345670u, 0x01C0A0B0u};                  // 2001, on a 100 ns tick
  const FILETIME accessed{0x22345670u, 0x01C0A0B0u};
  EXPECT_TRUE(platform::SetFileTime(file, nullptr, &accessed, &written));
  // Windows keeps times set on a handle through later writes (Wine does not).
  if (!layer_test::OnWine()) {
    EXPECT_TRUE(platform::WriteFile(file, "d", 1, &done, nullptr));
  }
  EXPECT_TRUE(platform::CloseHandle(file));
  WIN32_FIND_DATAA data;
  HANDLE find = platform::FindFirstFileA(P("f").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, "f");
  EXPECT_STREQ(data.cAlternateFileName, "");
  EXPECT_EQ(data.dwFileAttributes & (kGiven | FILE_ATTRIBUTE_DIRECTORY), kGiven);
  EXPECT_EQ(data.nFileSizeLow, layer_test::OnWine() ? 3u : 4u);
  EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, written.dwLowDateTime);
  EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, written.dwHighDateTime);
  EXPECT_EQ(data.ftLastAccessTime.dwLowDateTime, accessed.dwLowDateTime);
  EXPECT_FALSE(platform::FindNextFileA(find, &data));
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_NO_MORE_FILES);
  EXPECT_TRUE(platform::FindClose(find));

  HANDLE reader = Open("f", GENERIC_READ, OPEN_EXISTING);
  if (!layer_test::OnWine()) {  // Wine lets a handle opened for reading set times
    EXPECT_FALSE(platform::SetFileTime(reader, nullptr, nullptr, &written));
    EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
  }
  EXPECT_FALSE(platform::WriteFile(reader, "x", 1, &done, nullptr));
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
  EXPECT_TRUE(platform::CloseHandle(reader));
}

TEST_F(FileIoTest, CompressionIsSetOrRefusedNeverCrashes) {
  Write("f", "data");
  HANDLE file = Open("f", kReadWrite, OPEN_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  for (WORD format : {COMPRESSION_FORMAT_DEFAULT, COMPRESSION_FORMAT_NONE}) {
    SCOPED_TRACE(format);
    DWORD returned = 99;
    if (!platform::DeviceIoControl(file, FSCTL_SET_COMPRESSION, &format, sizeof format, nullptr, 0,
                                   &returned, nullptr)) {
      EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_NOT_SUPPORTED);  // Wine too
    }
  }
#ifndef _WIN32
  DWORD returned;
  EXPECT_FALSE(
      platform::DeviceIoControl(file, 0x90028, nullptr, 0, nullptr, 0, &returned, nullptr));
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_INVALID_FUNCTION);
#endif
  EXPECT_TRUE(platform::CloseHandle(file));
  EXPECT_EQ(Read("f"), "data");
}

}  // namespace
