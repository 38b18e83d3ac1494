// Destination names from masks and folders, folder chains on the way to a
// destination, and the warning box that asks whether to go on.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "core_fixture.h"
#include "paths/paths.h"
#include "platform/testing.h"

namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;

// Linux: D: is the test's folder. Windows: the test's folder on its drive.
class DestinationTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
#ifdef _WIN32
    root = dir.string() + "\\";
#else
    root = "D:\\";
    ASSERT_TRUE(pt::MapDrive('D', pt::DriveKind::Fixed, dir.string().c_str()));
#endif
    fs::create_directories(dir / "src" / "folder");
    fs::create_directories(dir / "target");
    std::ofstream(dir / "target.txt") << "x";
  }
  void TearDown() override {
    pt::ResetDrives();
    CoreTest::TearDown();
  }
  // DestinationPath with a guard behind the 512-byte output; "" for a refusal.
  std::string Destination(const std::string& source, const std::string& destination) {
    struct {
      char out[512];
      char guard[32];
    } buffer;
    std::memset(&buffer, 0x5A, sizeof buffer);
    int result = DestinationPath(source.c_str(), destination.c_str(), buffer.out);
    for (char c : buffer.guard) EXPECT_EQ(c, 0x5A) << "written past the buffer";
    EXPECT_EQ(result == 0, buffer.out[0] == 0) << "a refusal leaves out empty";
    return result ? buffer.out : "";
  }
  std::string root;
};

using DestinationPathTest = DestinationTest;
using DestinationDirsTest = DestinationTest;
using DestinationPromptTest = DestinationTest;

TEST_F(DestinationPathTest, MasksRenameEachItem) {
  struct Case {
    const char *name, *mask, *expected;
  } cases[] = {
      {"report.txt", "*.bak", "report.bak"},   {"report.txt", "new.*", "new.txt"},
      {"report.txt", "???", "rep"},            {"report.txt", "*_old.*", "report_old.txt"},
      {"report.txt", "a?c", "aec"},            {"data", "*.*", "data."},
      {"report.txt", "copy", "copy"},          {"ab.txt", "?????.txt", "ab.txt"},
      {"archive.tar.gz", "*.zip", "archive.tar.zip"}, {"data", "*.bak", "data.bak"},
      {"report.txt", "x.dat", "x.dat"},        {"report.txt", "file:stream", "file:stream"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.mask);
    EXPECT_EQ(Destination(root + "src\\" + c.name, root + "new\\" + c.mask),
              root + "new\\" + c.expected);
  }
  EXPECT_EQ(Destination(root + "src\\report.txt", "*.bak"), "report.bak");
}

TEST_F(DestinationPathTest, FoldersTakeTheSourceName) {
  std::string source = root + "src\\a.txt";
  EXPECT_EQ(Destination(source, root + "target\\"), root + "target\\a.txt");
  EXPECT_EQ(Destination(source, root + "absent\\"), root + "absent\\a.txt");
  EXPECT_EQ(Destination(source, root + "target"), root + "target\\a.txt");
  EXPECT_EQ(Destination(source, root + "target.txt"), root + "target.txt");  // a file: a new name
  // A folder copied onto itself maps to itself.
  EXPECT_EQ(Destination(root + "src\\folder", root + "src\\folder"), root + "src\\folder");
}

TEST_F(DestinationPathTest, BadInputIsRefusedNeverCutOrOverflowed) {
  std::string source = root + "src\\report.txt";
  std::string fill(511 - (root.size() + 3 + 10), 'f');  // root + fill + "\\x\\" + "report.txt"
  struct Case {
    std::string source, destination;
  } refused[] = {
      {source, ""},
      {"", root + "new\\"},
      {root + "src\\", root + "new\\"},
      {source, root + "new\\" + std::string(100, '*')},  // a mask too wide once applied
      {source, root + std::string(600, 'x') + "\\"},
      {source, root + fill + "\\xy\\"},                  // one past 511
      {source, root + "t*t\\x.txt"},
      {source, root + "t?t\\"},
      {source, root + "a|b"},
      {source, root + "new\\a<b>.txt"},
      {root + "src\\.profile", root + "new\\???"},  // leaves no name
  };
  for (const Case& c : refused) {
    SCOPED_TRACE(c.source.substr(0, 40) + " -> " + c.destination.substr(0, 60));
    EXPECT_EQ(Destination(c.source, c.destination), "");
  }
  std::string exact = root + fill + "\\x\\report.txt";
  ASSERT_EQ(exact.size(), 511u);
  EXPECT_EQ(Destination(source, root + fill + "\\x\\"), exact);
}

TEST_F(DestinationDirsTest, CreatesEachFolderOnTheWayButNotTheLast) {
  CreateParentDirectories((root + "new\\sub\\file.txt").c_str());
  EXPECT_TRUE(fs::is_directory(dir / "new" / "sub"));
  EXPECT_FALSE(fs::exists(dir / "new" / "sub" / "file.txt"));

  CreateParentDirectories((root + "new\\more\\deep\\").c_str());
  EXPECT_TRUE(fs::is_directory(dir / "new" / "more" / "deep"));

  CreateParentDirectories((root + "ok\\w*d\\sub\\f.txt").c_str());
  EXPECT_TRUE(fs::is_directory(dir / "ok"));
  EXPECT_FALSE(fs::exists(dir / "ok" / "w*d"));

  // Over-long: nothing at all, not the part that would fit.
  CreateParentDirectories((root + "long\\" + std::string(600, 'x') + "\\f").c_str());
  EXPECT_FALSE(fs::exists(dir / "long"));
}

TEST_F(DestinationDirsTest, CreatesFoldersInsideAShare) {
#ifdef _WIN32
  GTEST_SKIP() << "Wine reaches no network share here";
#else
  fs::create_directories(dir / "share");
  ASSERT_TRUE(pt::MapDrive('N', pt::DriveKind::Network, (dir / "share").c_str(), "server\\share"));
  CreateParentDirectories("\\\\server\\share\\new\\sub\\file.txt");
  EXPECT_TRUE(fs::is_directory(dir / "share" / "new" / "sub"));
  EXPECT_FALSE(fs::exists(dir / "share" / "new" / "sub" / "file.txt"));
#endif
}

TEST_F(DestinationPromptTest, AskContinueGoesOnOnlyForTheFirstButton) {
  ASSERT_NE(host->messages[MsgYes], host->messages[MsgNo]);
  struct Case {
    int answer;
    bool expected;
  } cases[] = {{0, true}, {1, false}, {-1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    host->messageCalls.clear();
    host->messageAnswers = {c.answer};
    EXPECT_EQ(AskContinue("The destination is read-only"), c.expected);
    ASSERT_EQ(host->messageCalls.size(), 1u);
    const auto& call = host->messageCalls[0];
    EXPECT_EQ(call.flags, static_cast<unsigned>(MessageWarning));
    EXPECT_EQ(call.buttons, 2);
    std::vector<std::string> expected = {
        host->messages[MsgWarningTitle], "The destination is read-only",
        host->messages[MsgWarningQuestion], "\x01", host->messages[MsgYes],
        host->messages[MsgNo]};
    EXPECT_EQ(call.lines, expected);
  }
  EXPECT_EQ(host->unexpectedCalls, 0);
}

}  // namespace
