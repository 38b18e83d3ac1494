// Named streams and the backup walk over them. Linux keeps a stream in a
// user extended attribute. Wine has no named streams on its Unix file
// systems, so the Windows build skips these.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "layer_helpers.h"

namespace {

namespace fs = std::filesystem;

constexpr DWORD kErrorSeek = 25;  // ERROR_SEEK

class StreamsTest : public layer_test::LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
#ifdef _WIN32
    GTEST_SKIP() << "Wine has no named streams on Unix file systems (\"f:s\" is a file of "
                    "that name) and answers BackupRead/BackupSeek with ERROR_NOT_SUPPORTED";
#endif
  }
  std::string P(const std::string& name) const { return folder + "\\" + name; }

  // Writes `text` into `path` (a file or "file:stream") with CREATE_ALWAYS.
  ::testing::AssertionResult Put(const std::string& path, const std::string& text) {
    HANDLE file = platform::CreateFileA(P(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
      return ::testing::AssertionFailure() << "open, error " << platform::GetLastError();
    DWORD done = 0;
    BOOL wrote =
        platform::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    BOOL closed = platform::CloseHandle(file);
    if (!wrote || !closed || done != text.size())
      return ::testing::AssertionFailure() << "write, error " << platform::GetLastError();
    return ::testing::AssertionSuccess();
  }

  // The whole of `path`, or its open's error.
  std::string Get(const std::string& path) {
    HANDLE file = platform::CreateFileA(P(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "error " + std::to_string(platform::GetLastError());
    char buffer[256];
    DWORD done = 0;
    std::string text;
    while (platform::ReadFile(file, buffer, sizeof buffer, &done, nullptr) && done)
      text.append(buffer, done);
    EXPECT_TRUE(platform::CloseHandle(file));
    return text;
  }
};

TEST_F(StreamsTest, StreamsAreWrittenReadAndFoundByName) {
  ASSERT_TRUE(Put("f:s1:$DATA", "hello"));  // creates the missing file empty
  const std::pair<const char*, std::string> reads[] = {
      {"f", ""},           {"f::$DATA", ""},           {"f:s1", "hello"}, {"f:s1:$DATA", "hello"},
      {"f:s2", "error 2"},                              // ERROR_FILE_NOT_FOUND
      {"g:s1", "error 2"}, {"f:s1:$BAD", "error 123"},  // ERROR_INVALID_NAME
  };
  for (const auto& [path, text] : reads) {
    SCOPED_TRACE(path);
    EXPECT_EQ(Get(path), text);
  }
  HANDLE file = platform::CreateFileA(P("f:s1").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_FILE_EXISTS);
  EXPECT_FALSE(fs::exists(dir / "g"));
}

TEST_F(StreamsTest, AStreamTheVolumeCannotHoldFailsLoudly) {
  ASSERT_TRUE(Put("f", "data"));
  HANDLE file = platform::CreateFileA(P("f:big").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  // No Linux attribute takes 64 KiB: refused at once.
  std::string big(70000, 'b');
  DWORD done = 0;
  EXPECT_FALSE(
      platform::WriteFile(file, big.data(), static_cast<DWORD>(big.size()), &done, nullptr));
  EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_DISK_FULL);
  // Larger than one block: ext4 refuses it when the handle closes, others keep it.
  std::string medium(10000, 'm');
  ASSERT_TRUE(
      platform::WriteFile(file, medium.data(), static_cast<DWORD>(medium.size()), &done, nullptr));
  if (platform::CloseHandle(file))
    EXPECT_EQ(Get("f:big"), medium);
  else
    EXPECT_EQ(platform::GetLastError(), (DWORD)ERROR_DISK_FULL);
  EXPECT_EQ(Get("f"), "data");
}

// One stream of a backup walk.
struct Stream {
  DWORD id;
  std::string name;  // narrowed from UTF-16
  std::string data;
  bool operator==(const Stream& o) const { return id == o.id && name == o.name && data == o.data; }
};

TEST_F(StreamsTest, BackupReadGivesTheDataThenEachStreamAndSeeksWithinOne) {
  ASSERT_TRUE(Put("f", "0123456789"));
  ASSERT_TRUE(Put("f:s1", "alpha"));
  ASSERT_TRUE(Put("f:s2", "beta"));
  HANDLE file = platform::CreateFileA(P("f").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LPVOID context = nullptr;
  auto read = [&](DWORD count) {
    std::string bytes(count, '\0');
    DWORD done = 0;
    EXPECT_TRUE(platform::BackupRead(file, reinterpret_cast<BYTE*>(&bytes[0]), count, &done, FALSE,
                                     FALSE, &context));
    bytes.resize(done);
    return bytes;
  };
  auto dword = [](const std::string& b, size_t at) {
    DWORD v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
  };
  std::vector<Stream> streams;
  for (int index = 0;; ++index) {
    // Headers come in pieces: 20 bytes then the name; once 5 + 15 bytes.
    std::string header = read(index == 2 ? 5 : 20);
    if (header.empty()) break;
    if (index == 2) header += read(15);
    ASSERT_EQ(header.size(), 20u);
    Stream s{dword(header, 0), "", ""};
    unsigned long long size =
        dword(header, 8) | (static_cast<unsigned long long>(dword(header, 12)) << 32);
    std::string name = read(dword(header, 16));
    ASSERT_EQ(name.size(), dword(header, 16));
    for (size_t i = 0; i < name.size(); i += 2) s.name += name[i];
    if (index == 0) {  // skip 4 bytes of the data, then read the rest
      DWORD low = 0, high = 0;
      EXPECT_TRUE(platform::BackupSeek(file, 4, 0, &low, &high, &context));
      EXPECT_EQ(low, 4u);
      size -= 4;
    }
    if (index == 1) {  // a seek past the end stops at the next header
      DWORD low = 0, high = 0;
      EXPECT_FALSE(platform::BackupSeek(file, 100, 0, &low, &high, &context));
      EXPECT_EQ(platform::GetLastError(), kErrorSeek);
      EXPECT_EQ(low, size);
      s.data = "(skipped)";
      size = 0;
    }
    while (s.data.size() < size) {
      std::string piece = read(static_cast<DWORD>(size - s.data.size()));
      ASSERT_FALSE(piece.empty());
      s.data += piece;
    }
    streams.push_back(s);
  }
  const std::vector<Stream> expected{{BACKUP_DATA, "", "456789"},
                                     {BACKUP_ALTERNATE_DATA, ":s1:$DATA", "(skipped)"},
                                     {BACKUP_ALTERNATE_DATA, ":s2:$DATA", "beta"}};
  EXPECT_TRUE(streams == expected);
  DWORD done;
  EXPECT_TRUE(platform::BackupRead(file, nullptr, 0, &done, TRUE, FALSE, &context));
  EXPECT_EQ(context, nullptr);
  EXPECT_TRUE(platform::CloseHandle(file));
}

}  // namespace
