// The engine's file layer on real files: the opens, block transfers, removal
// of read-only files, and the NT extras with their boxes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "core_fixture.h"
#include "engine/buffers.h"
#include "engine/file_access.h"
#include "engine/prompts.h"
#include "platform/testing.h"
#include "settings/settings.h"

namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;

constexpr DWORD kShownBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;

FARPROC Advapi(const char* name) {
  return platform::GetProcAddress(platform::GetModuleHandleA("advapi32.dll"), name);
}

class FileAccessTest : public CoreTest {
 protected:
  void TearDown() override {
    // Read-only leftovers would stop the fixture's removal on Windows.
    for (const auto& entry : fs::directory_iterator(dir))
      platform::SetFileAttributesA(W(entry.path().filename().string()).c_str(), 0x80);
    CoreTest::TearDown();
  }

  // The Windows path of a file in the test's folder (Linux reaches / as Z:).
  std::string W(const std::string& name) {
#ifdef _WIN32
    std::string text = dir.string() + "\\" + name;
#else
    std::string text = "Z:" + dir.string() + "/" + name;
#endif
    for (char& c : text)
      if (c == '/') c = '\\';
    return text;
  }
  void Write(const std::string& name, const std::string& data, DWORD attributes = 0x80) {
    std::ofstream(dir / name, std::ios::binary) << data;
    ASSERT_TRUE(platform::SetFileAttributesA(W(name).c_str(), attributes));
  }
  std::string Read(const std::string& name) {
    std::ifstream in(dir / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  DWORD Shown(const std::string& name) {
    return platform::GetFileAttributesA(W(name).c_str()) & kShownBits;
  }

  // The one box: title, [file, separator,] message, system text, separator, OK.
  void ExpectBox(int message, const char* fileName, DWORD error) {
    char text[512];
    std::vector<const char*> items = {host->messages[MsgErrorTitle].c_str()};
    if (fileName) items.insert(items.end(), {fileName, "\x01"});
    items.push_back(host->messages[message].c_str());
    int count = static_cast<int>(items.size());
    items.resize(PromptItemCapacity);
    SystemErrorLines(error, text, items.data(), &count, PromptItemCapacity - 2);
    items.resize(count);
    items.insert(items.end(), {"\x01", host->messages[MsgOk].c_str()});
    ASSERT_EQ(host->messageCalls.size(), 1u);
    EXPECT_EQ(host->messageCalls[0].lines, std::vector<std::string>(items.begin(), items.end()));
  }

  // Owner, group and access list as the system reads them; empty on failure.
  std::vector<char> Descriptor(const std::string& name) {
    auto get = reinterpret_cast<BOOL(WINAPI*)(LPCSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR,
                                              DWORD, LPDWORD)>(
        reinterpret_cast<void (*)()>(Advapi("GetFileSecurityA")));
    std::vector<char> blob(16384);
    DWORD needed = 0;
    if (!get || !get(W(name).c_str(), 7, blob.data(), 16384, &needed)) return {};
    blob.resize(needed);
    return blob;
  }
};

TEST_F(FileAccessTest, OpenCreateReplacesAndOpenAppendWritesOnEachLeavingTheNewAttributes) {
  struct Case {
    const char* name;
    int mode;
    const char* before;  // null: missing
    DWORD attributesBefore, attributes;
    const char* after;
  } cases[] = {
      {"create, missing", OpenCreate, nullptr, 0, FILE_ATTRIBUTE_ARCHIVE, "new"},
      {"create over read-only", OpenCreate, "old contents", FILE_ATTRIBUTE_READONLY,
       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, "new"},
      {"create over hidden system", OpenCreate, "old contents",
       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_ARCHIVE, "new"},
      {"append, missing", OpenAppend, nullptr, 0, FILE_ATTRIBUTE_HIDDEN, "new"},
      {"append to read-only", OpenAppend, "old", FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY,
       "oldnew"},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string name = "file" + std::to_string(index++);
    if (c.before) Write(name, c.before, c.attributesBefore);
    // The engine's creation attributes always carry the compressed bit.
    HANDLE file = OpenForCopy(W(name).c_str(), c.mode, c.attributes | FILE_ATTRIBUTE_COMPRESSED);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << platform::GetLastError();
    EXPECT_EQ(WriteBlock(file, "new", 3), 3);
    EXPECT_TRUE(platform::CloseHandle(file));
    EXPECT_EQ(Read(name), c.after);
    EXPECT_EQ(Shown(name), c.attributes & kShownBits);
  }
}

TEST_F(FileAccessTest, AFailedOpenKeepsTheFileItsAttributesAndTheReason) {
  struct Case {
    int mode;
    const char* failing;
    DWORD error;
  } cases[] = {
      {OpenCreate, "CreateFileA", ERROR_SHARING_VIOLATION},
      {OpenAppend, "CreateFileA", ERROR_SHARING_VIOLATION},
      // Without its end an append would overwrite the file from its start.
      {OpenAppend, "SetFilePointer", ERROR_NEGATIVE_SEEK},
  };
  Write("kept", "contents", kShownBits);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing);
    pt::ResetFaults();
    pt::ArmFault(c.failing, "*", 1, c.error);
    EXPECT_EQ(OpenForCopy(W("kept").c_str(), c.mode, 0x20), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), c.error);
    EXPECT_EQ(Read("kept"), "contents");
    EXPECT_EQ(Shown("kept"), kShownBits);
  }
}

TEST_F(FileAccessTest, UnbufferedReadsReachTheLastByteAndFailuresGiveMinusOne) {
  uint8_t* buffer = static_cast<uint8_t*>(AllocatePages(65536));
  ASSERT_NE(buffer, nullptr);
  for (size_t size : {511u, 20480u, 25000u}) {
    SCOPED_TRACE(size);
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 7 + i / 251);
    Write("source", data);
    HANDLE file = OpenForCopy(W("source").c_str(), OpenRead, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    size_t pos = 0;
    for (int32_t got = 10240; got == 10240; pos += got) {  // the last piece short or empty
      got = ReadBlock(file, buffer + pos, 10240);
      ASSERT_GE(got, 0);
    }
    EXPECT_EQ(pos, size);
    EXPECT_EQ(std::memcmp(buffer, data.data(), size), 0);
    EXPECT_EQ(ReadBlock(file, buffer, 10240), 0);
    pt::ArmFault("ReadFile", "*", 1, ERROR_READ_FAULT);
    EXPECT_EQ(ReadBlock(file, buffer, 10240), -1);
    EXPECT_TRUE(platform::CloseHandle(file));
  }
  FreePages(buffer);

  HANDLE file = OpenForCopy(W("target").c_str(), OpenCreate, 0x20);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  pt::ArmFault("WriteFile", "*", 1, ERROR_DISK_FULL);
  EXPECT_EQ(WriteBlock(file, "abcdef", 6), -1);
  pt::ArmShortFault("WriteFile", "*", 1, 4);
  EXPECT_EQ(WriteBlock(file, "abcdef", 6), 4);
  EXPECT_TRUE(platform::CloseHandle(file));
}

TEST_F(FileAccessTest, RemoveFileDeletesReadOnlyFilesAndPutsTheAttributesBackOnFailure) {
  Write("gone", "x", FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(RemoveFile(W("gone").c_str()), 1);
  EXPECT_FALSE(fs::exists(dir / "gone"));

  Write("held", "x", kShownBits);
  pt::ArmFault("DeleteFileA", "*", 1, ERROR_SHARING_VIOLATION);
  EXPECT_EQ(RemoveFile(W("held").c_str()), 0);
  EXPECT_EQ(platform::GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(Shown("held"), kShownBits);
  EXPECT_TRUE(host->messageCalls.empty());
}

TEST_F(FileAccessTest, CompressionFailureShowsMessage37WithTheReason) {
  HANDLE file = OpenForCopy(W("file").c_str(), OpenCreate, 0x20);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  host->messageAnswers = {0};
  pt::ArmFault("DeviceIoControl", "*", 1, ERROR_NOT_SUPPORTED);
  SetCompressionState(file, 1);
  EXPECT_EQ(pt::FaultsFired(), 1);
  ExpectBox(MsgCompressionFailed, nullptr, ERROR_NOT_SUPPORTED);
  EXPECT_TRUE(platform::CloseHandle(file));
}

TEST_F(FileAccessTest, EncryptionRunsFromNt5OnTheAnsiPathAndReportsFailures) {
  std::string oem = W("\x82.txt");  // e acute in code page 437
  char ansi[512];
  platform::OemToCharA(oem.c_str(), ansi);
  std::string tooLong = W(std::string(600, 'n'));
  struct Case {
    DWORD major;  // NT version reported
    int encrypt;
    const char* function;
    std::string path;
    DWORD error;  // 0: nothing to do
  } cases[] = {
      {4, 1, "EncryptFileA", oem, 0},
      {4, 0, "DecryptFileA", oem, 0},
      {5, 1, "EncryptFileA", oem, ERROR_ACCESS_DENIED},
      {5, 0, "DecryptFileA", oem, ERROR_ACCESS_DENIED},
      {5, 1, "EncryptFileA", tooLong, ERROR_FILENAME_EXCED_RANGE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.function) + " on NT " + std::to_string(c.major));
    pt::SetReportedVersion(VER_PLATFORM_WIN32_NT, c.major, 0);
    LoadSettings();
    host->messageCalls.clear();
    host->messageAnswers = {0};
    pt::ResetFaults();
    pt::ArmFault(c.function, ansi, 1, ERROR_ACCESS_DENIED);  // the converted path only
    SetEncryptionState(c.path.c_str(), c.encrypt);
    // Where the system lacks the function there is nothing to do.
    bool acts = c.error != 0 && Advapi(c.function) != nullptr;
    EXPECT_EQ(pt::FaultsFired(), acts && c.path == oem ? 1 : 0);
    if (acts)
      ExpectBox(MsgEncryptionFailed, c.path.c_str(), c.error);
    else
      EXPECT_TRUE(host->messageCalls.empty());
  }
}

TEST_F(FileAccessTest, SecurityCopyCarriesOwnerGroupAndAccessList) {
  Write("src", "s");
  Write("dst", "d");
#ifdef _WIN32
  // Wine gives a read-only file an access list without write rights.
  ASSERT_TRUE(platform::SetFileAttributesA(W("src").c_str(), FILE_ATTRIBUTE_READONLY));
#else
  ASSERT_EQ(::chown((dir / "src").c_str(), 1234, 5678), 0);
  ASSERT_EQ(::chmod((dir / "src").c_str(), 0640), 0);
#endif
  std::vector<char> source = Descriptor("src");
  ASSERT_FALSE(source.empty());
  if (Descriptor("dst") == source) GTEST_SKIP() << "both files have the same descriptor here";
  CopySecurity(W("src").c_str(), W("dst").c_str());
  CopySecurity(W("src").c_str(), W("dst").c_str());
  EXPECT_EQ(Descriptor("dst"), source);
  EXPECT_LE(pt::CallCount("OpenProcessToken"), 1) << "the privilege is asked for once";
#ifndef _WIN32
  struct stat st;
  ASSERT_EQ(::stat((dir / "dst").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
#endif
  EXPECT_TRUE(host->messageCalls.empty());
}

TEST_F(FileAccessTest, SecurityFailuresAreSilentAndMissingFunctionsNeverCalled) {
  Write("src", "s");
  Write("dst", "d");
  pt::ArmFault("GetFileSecurityA", "*", 1, ERROR_ACCESS_DENIED, pt::Repeat::FromThenOn);
  CopySecurity(W("src").c_str(), W("dst").c_str());
  EXPECT_EQ(pt::CallCount("GetFileSecurityA"), 2);  // both parts tried
  EXPECT_EQ(pt::CallCount("SetFileSecurityA"), 0);

  pt::ResetFaults();
  pt::ArmFault("SetFileSecurityA", "*", 1, ERROR_NOT_SUPPORTED, pt::Repeat::FromThenOn);
  CopySecurity(W("src").c_str(), W("dst").c_str());
  EXPECT_GE(pt::FaultsFired(), 1);

  pt::ResetFaults();
  pt::ArmFault("GetModuleHandleA", "*", 1, ERROR_FILE_NOT_FOUND);
  LoadOptionalFunctions();
  CopySecurity(W("src").c_str(), W("dst").c_str());
  SetEncryptionState(W("dst").c_str(), 1);
  SetEncryptionState(W("dst").c_str(), 0);
  LoadOptionalFunctions();
  for (const char* name : {"GetFileSecurityA", "OpenProcessToken", "EncryptFileA", "DecryptFileA"})
    EXPECT_EQ(pt::CallCount(name), 0) << name;
  EXPECT_TRUE(host->messageCalls.empty());
}

}  // namespace
