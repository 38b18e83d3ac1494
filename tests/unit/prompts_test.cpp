// Error prompts: the system text's lines, the layout of the three boxes,
// the retry answer, and two threads taking turns under ScreenLock.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/run_state.h"
#include "core_fixture.h"
#include "engine/prompts.h"

namespace {

using Lines = std::vector<std::string>;

// The words of a text, whatever spaces and line breaks lie between them.
Lines Words(const std::string& text) {
  std::string spaced = text;
  for (char& c : spaced)
    if (c == '\r' || c == '\n') c = ' ';
  std::istringstream in(spaced);
  Lines words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

Lines Words(const Lines& lines) {
  std::string all;
  for (const std::string& line : lines) all += line + " ";
  return Words(all);
}

// What the system says for `code`, as words, without the closing full stop.
Lines SystemWords(DWORD code) {
  char text[512] = {};
  platform::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, sizeof text, nullptr);
  Lines words = Words(text);
  while (!words.empty()) {
    std::string& last = words.back();
    while (!last.empty() && last.back() == '.') last.pop_back();
    if (!last.empty()) break;
    words.pop_back();
  }
  return words;
}

// Runs SystemTextLines on `text` from an empty list.
Lines Broken(const std::string& text) {
  char buffer[512] = {};
  std::memcpy(buffer, text.data(), std::min(text.size(), sizeof buffer - 1));
  const char* items[PromptItemCapacity] = {};
  int count = 0;
  SystemTextLines(buffer, items, &count, PromptItemCapacity);
  return Lines(items, items + count);
}

// A code no system has a text for (the customer bit is set).
constexpr DWORD kNoTextCode = 0x20000000 | 4711;

class PromptsTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    ScreenLock = nullptr;
  }
  void TearDown() override {
    if (ScreenLock) platform::CloseHandle(ScreenLock);
    ScreenLock = nullptr;
    CoreTest::TearDown();
  }
  const std::string& Text(int id) { return host->messages[id]; }
};

// ---- Lines of the system text ---------------------------------------------

TEST(SystemTextLines, BreaksAtTheFirstSpacePastFortyCharacters) {
  struct Case {
    const char* name;
    std::string text;
    Lines lines;
  } cases[] = {
      {"short, closing full stop and line break", "Access is denied.\r\n", {"Access is denied"}},
      {"empty", "", {}},
      {"only what is dropped at the end", " ..\r\n\t\x01 ", {}},
      {"trailing dots, spaces and controls", "Done . .\t\x01\x1f \r\n", {"Done"}},
      {"inner dots stay", "Version 1.2 of the file.\r\n", {"Version 1.2 of the file"}},
      {"41 characters end a line at the next space",
       "aaaaaaaaa bbbbbbbbb ccccccccc ddddddddd eeeee fff",
       {"aaaaaaaaa bbbbbbbbb ccccccccc ddddddddd eeeee", "fff"}},
      {"a space at 40 is not past 40", "aaaaaaaaa bbbbbbbbb ccccccccc dddddddddd e fff",
       {"aaaaaaaaa bbbbbbbbb ccccccccc dddddddddd e", "fff"}},
      {"the end past 40 after a space at 40", std::string(40, 'x') + " y",
       {std::string(40, 'x') + " y"}},
      {"a long word is not broken", std::string(60, 'w') + " tail",
       {std::string(60, 'w'), "tail"}},
      {"inner line break between words keeps them apart",
       "The first part of this system text\r\ngoes on in a second line.\r\n",
       {"The first part of this system text goes on", "in a second line"}},
      {"inner break after a space leaves one space",
       "The first part of this system text \r\ngoes on in a second line.\r\n",
       {"The first part of this system text goes on", "in a second line"}},
      {"lone CR and LF inside", "one\rtwo\nthree", {"one two three"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Broken(c.text), c.lines);
  }
}

TEST(SystemTextLines, LinesBeyondTheCapacityAreCutNotOverrun) {
  // A full 511-character text of short words: twelve lines.
  std::string text;
  while (text.size() < 511) text += "word ";
  text.resize(511);
  ASSERT_EQ(Broken(text).size(), 12u);

  constexpr int kGuard = 8;
  char buffer[512];
  std::memcpy(buffer, text.c_str(), 512);
  const char* items[PromptItemCapacity + kGuard];
  for (const char*& item : items) item = "guard";
  int count = PromptItemCapacity - 3;
  SystemTextLines(buffer, items, &count, PromptItemCapacity);
  EXPECT_EQ(count, PromptItemCapacity);
  for (int i = PromptItemCapacity - 3; i < PromptItemCapacity; ++i)
    EXPECT_EQ(std::strlen(items[i]), 44u) << i;  // "word word ... word" of nine words
  for (int i = PromptItemCapacity; i < PromptItemCapacity + kGuard; ++i)
    EXPECT_STREQ(items[i], "guard");

  count = PromptItemCapacity;  // already full: nothing is added
  std::memcpy(buffer, text.c_str(), 512);
  SystemTextLines(buffer, items, &count, PromptItemCapacity);
  EXPECT_EQ(count, PromptItemCapacity);
  EXPECT_STREQ(items[PromptItemCapacity], "guard");
}

TEST(SystemTextLines, ATextWithoutTerminatorStaysInItsBuffer) {
  char buffer[512];
  std::memset(buffer, 'x', sizeof buffer);
  const char* items[PromptItemCapacity];
  int count = 0;
  SystemTextLines(buffer, items, &count, PromptItemCapacity);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(std::strlen(items[0]), 511u);
}

// ---- The boxes ------------------------------------------------------------

TEST_F(PromptsTest, EachBoxHasItsLayout) {
  const std::string sep = "\x01";
  const Lines system = SystemWords(ERROR_ACCESS_DENIED);
  ASSERT_FALSE(system.empty());
  struct Case {
    const char* name;
    std::function<void()> show;
    Lines head;  // the items before the system lines
    Lines tail;  // the items after them
    int buttons;
  } cases[] = {
      {"ShowErrorBox", [&] { ShowErrorBox(Msg(MsgNoMemory)); },
       {Text(MsgErrorTitle), Text(MsgNoMemory)}, {sep, Text(MsgOk)}, 1},
      {"ShowFileErrorBox", [&] { ShowFileErrorBox(Msg(MsgCannotCreate), "D:\\dir\\file.txt"); },
       {Text(MsgErrorTitle), "D:\\dir\\file.txt", sep, Text(MsgCannotCreate)},
       {sep, Text(MsgOk)}, 1},
      {"AskRetrySkip", [&] { AskRetrySkip(Msg(MsgWriteError), "D:\\dir\\file.txt"); },
       {Text(MsgErrorTitle), "D:\\dir\\file.txt", sep, Text(MsgWriteError)},
       {sep, Text(MsgRetry), Text(MsgSkip)}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host->messageCalls.clear();
    host->messageAnswers = {0};
    platform::SetLastError(ERROR_ACCESS_DENIED);
    c.show();
    ASSERT_EQ(host->messageCalls.size(), 1u);
    const auto& call = host->messageCalls[0];
    EXPECT_EQ(call.flags, 9u);
    EXPECT_EQ(call.buttons, c.buttons);
    ASSERT_GT(call.lines.size(), c.head.size() + c.tail.size());
    EXPECT_EQ(Lines(call.lines.begin(), call.lines.begin() + c.head.size()), c.head);
    EXPECT_EQ(Lines(call.lines.end() - c.tail.size(), call.lines.end()), c.tail);
    Lines middle(call.lines.begin() + c.head.size(), call.lines.end() - c.tail.size());
    EXPECT_EQ(Words(middle), system);
  }
  EXPECT_EQ(host->unexpectedCalls, 0);
}

TEST_F(PromptsTest, AnErrorWithoutTextShowsNoSystemLines) {
  host->messageAnswers = {0};
  platform::SetLastError(kNoTextCode);
  ShowErrorBox(Msg(MsgNoMemory));
  ASSERT_EQ(host->messageCalls.size(), 1u);
  EXPECT_EQ(host->messageCalls[0].lines,
            (Lines{Text(MsgErrorTitle), Text(MsgNoMemory), "\x01", Text(MsgOk)}));
}

TEST_F(PromptsTest, RetryIsTheFirstButtonOnlyAndEscMeansSkip) {
  struct Case {
    int answer;
    int result;
  } cases[] = {{0, 0}, {1, 2}, {-1, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    host->messageAnswers = {c.answer};
    platform::SetLastError(ERROR_READ_FAULT);
    EXPECT_EQ(AskRetrySkip(Msg(MsgReadError), "D:\\f"), c.result);
  }
  EXPECT_EQ(host->unexpectedCalls, 0);
}

TEST_F(PromptsTest, ABoxTakesScreenLockAndSignalsItAgain) {
  ScreenLock = platform::CreateEventA(nullptr, FALSE, TRUE, nullptr);
  ASSERT_NE(ScreenLock, nullptr);
  host->messageAnswers = {0};
  ShowErrorBox(Msg(MsgNoMemory));
  EXPECT_EQ(host->messageCalls.size(), 1u);
  EXPECT_EQ(platform::WaitForSingleObject(ScreenLock, 0), (DWORD)WAIT_OBJECT_0);
  // Taken (just above) and not given back: the next box waits.
  EXPECT_EQ(platform::WaitForSingleObject(ScreenLock, 0), (DWORD)WAIT_TIMEOUT);
}

// ---- Two threads ----------------------------------------------------------

// A Message slot whose first call stays open until the test lets it return.
struct Latch {
  std::mutex mutex;
  std::condition_variable changed;
  bool firstShown = false;
  bool release = false;
  int open = 0;  // boxes on the screen now
  bool overlapped = false;
  int moduleNumber = -1;
  bool helpTopicGiven = false;
  std::vector<Lines> shown;
};
Latch* g_latch = nullptr;

int WINAPI LatchedMessage(int moduleNumber, unsigned, const char* helpTopic,
                          const char* const* lines, int count, int) {
  std::unique_lock<std::mutex> lock(g_latch->mutex);
  if (g_latch->open > 0) g_latch->overlapped = true;
  ++g_latch->open;
  g_latch->moduleNumber = moduleNumber;
  g_latch->helpTopicGiven |= helpTopic != nullptr;
  g_latch->shown.emplace_back(lines, lines + count);
  if (g_latch->shown.size() == 1) {
    g_latch->firstShown = true;
    g_latch->changed.notify_all();
    g_latch->changed.wait(lock, [] { return g_latch->release; });
  }
  --g_latch->open;
  return 0;
}

TEST_F(PromptsTest, TwoThreadsShowTheirBoxesOneAfterTheOtherEachWithItsOwnError) {
  Latch latch;
  g_latch = &latch;
  const MessageFunction scripted = Host.Message;
  Host.Message = &LatchedMessage;
  ScreenLock = platform::CreateEventA(nullptr, FALSE, TRUE, nullptr);
  ASSERT_NE(ScreenLock, nullptr);

  std::thread reader([] {
    platform::SetLastError(ERROR_ACCESS_DENIED);
    ShowFileErrorBox(Msg(MsgCannotOpenSource), "reader.txt");
  });
  bool firstShown;
  {
    std::unique_lock<std::mutex> lock(latch.mutex);
    firstShown =
        latch.changed.wait_for(lock, std::chrono::seconds(10), [&] { return latch.firstShown; });
    latch.release = !firstShown;  // let everything end before failing
  }
  if (!firstShown) {
    reader.join();
    Host.Message = scripted;
    g_latch = nullptr;
    FAIL() << "the first box never came up";
  }
  std::atomic<bool> writerStarted{false}, writerDone{false};
  std::thread writer([&] {
    writerStarted = true;
    platform::SetLastError(ERROR_FILE_NOT_FOUND);
    ShowFileErrorBox(Msg(MsgCannotCreate), "writer.txt");
    writerDone = true;
  });
  while (!writerStarted) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  {
    std::lock_guard<std::mutex> lock(latch.mutex);
    EXPECT_EQ(latch.shown.size(), 1u) << "the second box came up while the first was open";
    EXPECT_FALSE(writerDone);
    latch.release = true;
    latch.changed.notify_all();
  }
  reader.join();
  writer.join();
  Host.Message = scripted;
  g_latch = nullptr;

  EXPECT_FALSE(latch.overlapped);
  EXPECT_EQ(latch.moduleNumber, host->record.ModuleNumber);
  EXPECT_FALSE(latch.helpTopicGiven);
  ASSERT_EQ(latch.shown.size(), 2u);
  const Lines& first = latch.shown[0];
  const Lines& second = latch.shown[1];
  ASSERT_GE(first.size(), 6u);
  ASSERT_GE(second.size(), 6u);
  EXPECT_EQ(first[1], "reader.txt");
  EXPECT_EQ(second[1], "writer.txt");
  // Title, file, separator, message | system lines | separator, OK.
  EXPECT_EQ(Words(Lines(first.begin() + 4, first.end() - 2)), SystemWords(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Words(Lines(second.begin() + 4, second.end() - 2)), SystemWords(ERROR_FILE_NOT_FOUND));
  EXPECT_NE(SystemWords(ERROR_ACCESS_DENIED), SystemWords(ERROR_FILE_NOT_FOUND));
  // Both gave the lock back.
  EXPECT_EQ(platform::WaitForSingleObject(ScreenLock, 0), (DWORD)WAIT_OBJECT_0);
}

}  // namespace
