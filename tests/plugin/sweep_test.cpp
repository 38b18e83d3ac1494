// The fault sweep: a copy and a move of a small tree through the exports,
// serial and with a writer thread, failing each platform call of the run in
// turn. A clean run first counts the calls of every operation; then every
// (operation, call number) fails once in a run of its own on a fresh tree,
// with samples failing from then on, mid-transfer, and with Esc at the first
// box. Every box is answered Skip (OK where there is no choice). After each
// run no source byte is lost, no incomplete target is left unreported, every
// failure is in the run's list of failed files, no handle stays open and
// nothing hangs. QUICKFERRY_FULL_SWEEP=1 fails every call; by default a
// fixed sample of them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/messages.h"
#include "platform/testing.h"
#include "support/files.h"
#include "support/streams.h"
#include "support/fixture.h"

namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;

constexpr const char* kSettings = "Software\\Far\\Plugins\\Quickferry";
// The compact copy dialog: its parallel check box and start button.
constexpr int kDlgParallel = 4, kStartCompact = 15;
// Call numbers sampled per variant by default, spread evenly over the run
// (besides the first call and a failure from then on of every operation).
constexpr int kSampledRuns = 40;

enum class Kind { Copy, MoveByRename, MoveAcross };

struct Variant {
  Kind kind;
  bool parallel;
};

std::string VariantName(const Variant& v) {
  const char* kind = v.kind == Kind::Copy           ? "Copy"
                     : v.kind == Kind::MoveByRename ? "MoveByRename"
                                                    : "MoveAcrossVolumes";
  return std::string(kind) + (v.parallel ? "Parallel" : "Serial");
}

// gtest prints a parameter in the test's name: the variant's own.
void PrintTo(const Variant& v, std::ostream* out) { *out << VariantName(v); }

// One faulted run.
struct Fault {
  std::string operation;
  int call;
  pt::Repeat repeat = pt::Repeat::Once;
  bool transfer = false;  // ReadFile, WriteFile: 1000 bytes move first
  bool escape = false;    // Esc arrives with the first box

  std::string Label() const {
    std::ostringstream out;
    out << operation << " #" << call << (repeat == pt::Repeat::FromThenOn ? " on" : "")
        << (transfer ? " after 1000 bytes" : "") << (escape ? ", Esc" : "");
    return out.str();
  }
};

// The error each operation fails with: what the system would say there.
DWORD ErrorFor(const std::string& operation) {
  if (operation == "ReadFile" || operation == "BackupRead") return ERROR_CRC;
  if (operation == "WriteFile" || operation == "CloseHandle" || operation == "SetEndOfFile")
    return ERROR_DISK_FULL;
  if (operation.rfind("Heap", 0) == 0 || operation == "VirtualAlloc")
    return ERROR_NOT_ENOUGH_MEMORY;
  return ERROR_ACCESS_DENIED;
}

// A file of the tree: its data, and its streams where both volumes keep them.
struct TreeFile {
  std::string path;  // below the panel's folder, '/'-separated
  std::string data;
  std::vector<std::pair<std::string, std::string>> streams;
  bool readOnly = false;
};

std::string Bytes(size_t size, unsigned seed) {
  std::string data(size, '\0');
  uint32_t x = seed * 2654435761u + 7;
  for (auto& c : data) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return data;
}

// The variable the system's temporary folder comes from (null: none).
#ifdef _WIN32
std::optional<std::string> TempVariable() {
  char value[MAX_PATH];
  DWORD length = ::GetEnvironmentVariableA("TMP", value, sizeof value);
  if (length == 0 || length >= sizeof value) return std::nullopt;
  return std::string(value, length);
}
void SetTempVariable(const char* value) { ::SetEnvironmentVariableA("TMP", value); }
#else
std::optional<std::string> TempVariable() {
  const char* value = std::getenv("TMPDIR");
  return value ? std::optional<std::string>(value) : std::nullopt;
}
void SetTempVariable(const char* value) {
  if (value)
    ::setenv("TMPDIR", value, 1);
  else
    ::unsetenv("TMPDIR");
}
#endif

class FaultSweep : public TwoPanelTest, public ::testing::WithParamInterface<Variant> {
 protected:
  void SetUp() override {
    TwoPanelTest::SetUp();
    SetRegistryDword(kSettings, "BufInKb", 1);
    SetRegistryDword(kSettings, "BufKb", 64);  // a 128 KiB buffer: big.bin spans three
    SetRegistryDword(kSettings, "CopyStreamsDef", 1);
    SetRegistryDword(kSettings, "CopyDescs", 1);
    SetRegistryDword(kSettings, "ConfirmBreak", 0);
    // The run's list of failed files goes into the test's own folder.
    savedTemp = TempVariable();
    SetTempVariable(dir.string().c_str());
    listFile = dir / "Quickferry.temp";
  }
  void TearDown() override {
    SetTempVariable(savedTemp ? savedTemp->c_str() : nullptr);
    host->onMessage = nullptr;
    host->unexpectedCalls = 0;  // each run checked its own
    std::error_code ignored;
    if (!otherVolume.empty()) fs::remove_all(otherVolume, ignored);
    TwoPanelTest::TearDown();
  }

  // A folder on another file system than the test's, or none: a rename
  // between the two must fail as it does across volumes.
  bool FindOtherVolume() {
#ifdef _WIN32
    const fs::path base = "Z:\\dev\\shm";
#else
    const fs::path base = "/dev/shm";
#endif
    std::error_code error;
    if (!fs::is_directory(base, error)) return false;
    std::random_device random;
    otherVolume = base / ("qf-sweep-" + std::to_string(random()));
    if (!fs::create_directory(otherVolume, error)) return false;
    WriteFile(dir / "probe", "p");
    bool moved = platform::MoveFileExA(WindowsPath(dir / "probe").c_str(),
                                       WindowsPath(otherVolume / "probe").c_str(), 0);
    DWORD why = platform::GetLastError();
    fs::remove(dir / "probe", error);
    fs::remove(otherVolume / "probe", error);
    return !moved && why == ERROR_NOT_SAME_DEVICE;
  }

  // Named streams on both sides (none under Wine on Unix file systems).
  bool StreamsOnBothSides() {
#ifdef _WIN32
    return false;
#else
    bool both = true;
    for (const fs::path& folder : {src, dst}) {
      WriteFile(folder / "probe", "");
      both = both && WriteStream(folder / "probe", "s", "x");
      fs::remove(folder / "probe");
    }
    return both;
#endif
  }

  // About 50 entries: nested folders, an empty one, a read-only file, a
  // file with two streams, description files, a file larger than the
  // buffer, a link (Linux); "tree" and "top.txt" are selected.
  void DescribeTree(bool streams) {
    files.clear();
    files.push_back({"top.txt", Bytes(100, 1), {}, false});
    files.push_back({"tree/big.bin", Bytes(300000, 2), {}, false});
    files.push_back({"tree/ro.txt", Bytes(500, 3), {}, true});
    TreeFile withStreams{"tree/streams.txt", Bytes(700, 4), {}, false};
    if (streams) withStreams.streams = {{"s1", Bytes(300, 5)}, {"s2", Bytes(2000, 6)}};
    files.push_back(withStreams);
    const char* folders[] = {"tree/a", "tree/a/b", "tree/a/b/c", "tree/d"};
    unsigned seed = 10;
    for (const char* folder : folders)
      for (int i = 0; i < (std::string(folder) == "tree/d" ? 6 : 10); ++i, ++seed)
        files.push_back({std::string(folder) + "/f" + std::to_string(i),
                         Bytes((seed * 997) % 5000, seed), {}, false});
    // Descriptions: of the selected items in the panel's folder, and of
    // files inside the tree.
    descriptions = {{"", "top.txt", "text-of-top"},
                    {"", "tree", "text-of-tree"},
                    {"tree", "big.bin", "text-of-big"},
                    {"tree/a", "f3", "text-of-a-f3"}};
  }

  void MakeTree() {
    for (const TreeFile& file : files) {
      WriteFile(src / file.path, file.data);
      for (const auto& [name, data] : file.streams)
        ASSERT_TRUE(WriteStream(src / file.path, name, data));
    }
    std::map<std::string, std::string> lines;
    for (const auto& d : descriptions) lines[d.folder] += d.name + " " + d.text + "\r\n";
    for (const auto& [folder, text] : lines) WriteFile(src / folder / "Descript.ion", text);
    fs::create_directories(src / "tree" / "empty");
#ifndef _WIN32
    fs::create_symlink("big.bin", src / "tree" / "link");
#endif
    for (const TreeFile& file : files)
      if (file.readOnly)
        fs::permissions(src / file.path, fs::perms::owner_write | fs::perms::group_write |
                                             fs::perms::others_write,
                        fs::perm_options::remove);
  }

  // Clears both sides (read-only files included) and the run's list.
  void ClearTrees() {
    std::error_code ignored;
    for (const fs::path& folder : {src, dst}) {
      for (auto it = fs::recursive_directory_iterator(folder, ignored);
           it != fs::recursive_directory_iterator(); it.increment(ignored))
        if (!it->is_symlink(ignored))
          fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
      fs::remove_all(folder, ignored);
      fs::create_directories(folder);
    }
    fs::remove(listFile, ignored);
  }

  struct Outcome {
    bool fired = false;
    int errorBoxes = 0;
    bool escaped = false;
    bool listLost = false;   // a box said the list could not be written
    bool refused = false;    // the run stopped before touching anything, and said so
    std::vector<std::string> listed;  // the run's list of failed files
    std::vector<std::string> violations;
  };

  // One run on a fresh tree with `fault` armed once the copy dialog closes,
  // so that exactly the run's own calls are counted and failed.
  Outcome RunOnce(const std::optional<Fault>& fault, const std::string& label) {
    Outcome outcome;
    ClearTrees();
    MakeTree();
    pt::ConsoleReset(80, 25);
    host->messageCalls.clear();
    host->dialogCalls.clear();
    host->controlCalls.clear();
    host->unexpectedCalls = 0;
    host->active = TestPanel{};
    host->active.folder = WindowsPath(src);
    host->active.Add("top.txt", 0x20, files[0].data.size())
        .Add("tree", FILE_ATTRIBUTE_DIRECTORY)
        .Select("top.txt")
        .Select("tree");
    const bool move = GetParam().kind != Kind::Copy;
    const std::string destination = WindowsPath(dst) + "\\";
    const bool parallel = GetParam().parallel;
    host->menuAnswers = {move ? 1 : 0};
    host->dialogAnswers.clear();
    host->dialogAnswers.push_back({kStartCompact, [&](DialogItem* items, int) {
                                     std::snprintf(items[2].Data, sizeof items[2].Data, "%s",
                                                   destination.c_str());
                                     items[kDlgParallel].Selected = parallel;
                                     pt::ResetFaults();
                                     if (!fault) return;
                                     DWORD error = ErrorFor(fault->operation);
                                     if (fault->transfer)
                                       pt::ArmTransferFault(fault->operation.c_str(), nullptr,
                                                            fault->call, 1000, error, fault->repeat);
                                     else
                                       pt::ArmFault(fault->operation.c_str(), nullptr, fault->call,
                                                    error, fault->repeat);
                                   }});
    // A destination that cannot be resolved brings the dialog back: the
    // user leaves it.
    host->dialogAnswers.push_back({-1, nullptr});
    const std::string& failedTitle = host->messages[MsgListFailed1];
    const std::string& errorTitle = host->messages[MsgErrorTitle];
    const std::string listName = listFile.filename().string();
    bool escape = fault && fault->escape;
    host->onMessage = [&, escape](const std::vector<std::string>& lines) {
      int buttons = host->messageCalls.back().buttons;
      int answer = 0;  // OK, Yes: list the failed files, go on
      if (lines.size() > 1 && lines[1] == failedTitle) {
      } else if (!lines.empty() && lines[0] == errorTitle) {
        ++outcome.errorBoxes;
        for (const std::string& line : lines)
          if (line.find(listName) != std::string::npos) outcome.listLost = true;
        if (buttons == 2) answer = 1;  // Skip
        if (escape && !outcome.escaped) {
          pt::ConsoleFeedInput(KeyRecord(VK_ESCAPE, 27, 0, true));
          outcome.escaped = true;
        }
      }
      host->messageAnswers.push_back(answer);
    };

    watchdog.reset();
    watchdog.emplace(std::chrono::seconds(30), label);
    plugin.OpenPlugin(0, 0);
    outcome.fired = pt::FaultsFired() > 0;
    if (!fault) counts = pt::CallCounts();
    pt::ResetFaults();
    host->onMessage = nullptr;

    auto violation = [&](const std::string& text) { outcome.violations.push_back(text); };
    if (host->unexpectedCalls != 0) violation("the plug-in asked what no one scripted");
    std::error_code error;
    outcome.refused = (outcome.errorBoxes > 0 || host->dialogCalls.size() > 1) &&
                      fs::is_empty(dst, error);
    if (pt::OpenHandleCount() != handlesAtStart) violation("a handle left open");
    for (const std::string& line : ReadLines(listFile)) outcome.listed.push_back(line);
    Check(&outcome, violation);
    return outcome;
  }

  static std::vector<std::string> ReadLines(const fs::path& file) {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(file));
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) lines.push_back(line);
    }
    return lines;
  }

  // Listed itself, as one of its streams, or with a folder above it.
  bool Listed(const Outcome& outcome, const std::string& path) const {
    for (std::string at = path;; at = at.substr(0, at.rfind('/'))) {
      std::string shown = WindowsPath(src / at);
      for (const std::string& line : outcome.listed)
        if (line == shown || line.rfind(shown + ":", 0) == 0) return true;
      if (at.find('/') == std::string::npos) return false;
    }
  }

  // The file with all its streams, exactly.
  bool Whole(const fs::path& at, const TreeFile& file) const {
    std::error_code error;
    if (!fs::is_regular_file(fs::symlink_status(at, error)) || ReadFile(at) != file.data)
      return false;
    for (const auto& [name, data] : file.streams)
      if (ReadStream(at, name) != data) return false;
    return true;
  }

  template <typename Violation>
  void Check(Outcome* outcome, Violation violation) {
    const bool move = GetParam().kind != Kind::Copy;
    // A break stops the run before some entries: those are neither copied
    // nor failed. A run refused whole lists nothing; nor does a list that
    // could not be written (a box said so).
    const bool broken = outcome->escaped || outcome->refused || outcome->listLost;
    std::error_code error;
    auto unreported = [&](const std::string& path) {
      return !broken && !Listed(*outcome, path);
    };
    auto item = [&](const std::string& path, bool atSource, bool whole, bool atTarget) {
      if (!move && !atSource) violation(path + ": the copy's source is damaged or gone");
      if (move && !atSource && !whole) violation(path + ": lost: neither at its source nor whole at its target");
      if (atTarget && !whole && !Listed(*outcome, path))
        violation(path + ": an incomplete target under its final name, not reported");
      if (!whole && unreported(path)) violation(path + ": not at its target, and not listed as failed");
      if (move && atSource && unreported(path))
        violation(path + ": not moved (its source is still there), and not listed as failed");
    };
    for (const TreeFile& file : files) {
      bool atSource = fs::exists(fs::symlink_status(src / file.path, error));
      bool sourceWhole = Whole(src / file.path, file);
      if (atSource && !sourceWhole) violation(file.path + ": the source was changed");
      bool atTarget = fs::exists(fs::symlink_status(dst / file.path, error));
      item(file.path, sourceWhole, Whole(dst / file.path, file), atTarget);
    }
#ifndef _WIN32
    {
      auto isLink = [&](const fs::path& at) {
        return fs::is_symlink(fs::symlink_status(at, error)) &&
               fs::read_symlink(at, error) == "big.bin";
      };
      bool atTarget = fs::exists(fs::symlink_status(dst / "tree" / "link", error));
      item("tree/link", isLink(src / "tree" / "link"), isLink(dst / "tree" / "link"), atTarget);
    }
#endif
    {
      bool atSource = fs::is_directory(src / "tree" / "empty", error);
      bool atTarget = fs::is_directory(dst / "tree" / "empty", error);
      item("tree/empty", atSource, atTarget, atTarget);
    }
    // A description's text stays with its file's source or reaches its
    // target's folder.
    for (const auto& d : descriptions) {
      auto holds = [&](const fs::path& root) {
        return ReadFile(root / d.folder / "Descript.ion").find(d.text) != std::string::npos;
      };
      if (!holds(src) && !holds(dst)) violation(d.text + ": the description is lost");
      if (!move && !holds(src)) violation(d.text + ": the copy's source description is gone");
    }
    // Nothing under the destination but the tree's own names.
    std::set<std::string> known = {"top.txt", "Descript.ion", "tree", "tree/Descript.ion",
                                   "tree/empty", "tree/link"};
    for (const TreeFile& file : files)
      for (std::string at = file.path; !at.empty();
           at = at.find('/') == std::string::npos ? "" : at.substr(0, at.rfind('/')))
        known.insert(at);
    for (const auto& d : descriptions)
      if (!d.folder.empty()) known.insert(d.folder + "/Descript.ion");
    for (auto it = fs::recursive_directory_iterator(dst, error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
      std::string relative = fs::relative(it->path(), dst, error).generic_string();
      if (!known.count(relative)) violation(relative + ": a stray entry in the destination");
    }
    if (!outcome->listed.empty() && outcome->errorBoxes == 0)
      violation("files listed as failed without a box that said why");
  }

  // The runs of the sweep, as the clean run's counts allow.
  std::vector<Fault> Plan(bool full) const {
    std::vector<Fault> plan;
    int total = 0;
    for (const auto& [operation, count] : counts) total += count;
    // Spread evenly; the first call of every operation always.
    int stride = full ? 1 : std::max(1, total / kSampledRuns);
    int index = 0;
    for (const auto& [operation, count] : counts) {
      bool transfers = operation == "ReadFile" || operation == "WriteFile";
      for (int call = 1; call <= count; ++call) {
        bool taken = call == 1 || (index + call) % stride == 0;
        if (!taken) continue;
        plan.push_back({operation, call});
        if (transfers && (full || call % 2 == 1)) plan.push_back({operation, call, pt::Repeat::Once, true});
      }
      index += count;
      plan.push_back({operation, 1, pt::Repeat::FromThenOn});
      if (full && count > 2) plan.push_back({operation, count / 2 + 1, pt::Repeat::FromThenOn});
    }
    // Every seventh run is broken off with Esc at its first box.
    for (size_t i = 3; i < plan.size(); i += 7) plan[i].escape = true;
    return plan;
  }

  struct Description {
    std::string folder, name, text;
  };
  std::vector<TreeFile> files;
  std::vector<Description> descriptions;
  std::vector<std::pair<std::string, int>> counts;  // of the clean run
  fs::path listFile, otherVolume;
  std::optional<std::string> savedTemp;
};

TEST_P(FaultSweep, NoFailedCallLosesDataOrGoesUnreported) {
  const Variant variant = GetParam();
  if (variant.kind == Kind::MoveAcross) {
    if (!FindOtherVolume()) GTEST_SKIP() << "no second file system here (/dev/shm)";
    dst = otherVolume / "dst";
    fs::create_directories(dst);
    host->passive.folder = WindowsPath(dst);
  }
  DescribeTree(StreamsOnBothSides());

  // The clean run: everything arrives (or moves), nothing is asked.
  Outcome clean = RunOnce(std::nullopt, "clean run");
  EXPECT_TRUE(clean.violations.empty()) << ::testing::PrintToString(clean.violations);
  EXPECT_TRUE(clean.listed.empty()) << ::testing::PrintToString(clean.listed);
  EXPECT_EQ(host->messageCalls.size(), 0u);
  int total = 0;
  for (const auto& [operation, count] : counts) total += count;
  ASSERT_GT(total, 0);
  if (variant.kind == Kind::MoveByRename) {
    EXPECT_FALSE(fs::exists(src / "tree")) << "moved whole by one rename";
  }

  const char* fullSweep = std::getenv("QUICKFERRY_FULL_SWEEP");
  bool full = fullSweep != nullptr && std::string(fullSweep) == "1";
  std::vector<Fault> plan = Plan(full);
  int fired = 0, failures = 0;
  for (const Fault& fault : plan) {
    Outcome outcome = RunOnce(fault, fault.Label());
    fired += outcome.fired;
    if (outcome.violations.empty()) continue;
    std::ostringstream text;
    for (size_t i = 0; i < outcome.violations.size() && i < 4; ++i)
      text << "\n  " << outcome.violations[i];
    if (outcome.violations.size() > 4) text << "\n  and " << outcome.violations.size() - 4 << " more";
    ADD_FAILURE() << fault.Label() << " (" << outcome.errorBoxes << " boxes, "
                  << outcome.listed.size() << " listed):" << text.str();
    if (++failures == 10) break;
  }
  watchdog.reset();
  watchdog.emplace(std::chrono::seconds(60));
  std::printf("[ SWEEP    ] %s: %d calls in the clean run, %zu faulted runs, %d faults fired\n",
              VariantName(variant).c_str(), total, plan.size(), fired);
  // Counting and failing reach the run's calls at all.
  EXPECT_GT(fired, static_cast<int>(plan.size()) / 2);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, FaultSweep,
    ::testing::Values(Variant{Kind::Copy, false}, Variant{Kind::Copy, true},
                      Variant{Kind::MoveByRename, false}, Variant{Kind::MoveByRename, true},
                      Variant{Kind::MoveAcross, false}, Variant{Kind::MoveAcross, true}),
    [](const auto& info) { return VariantName(info.param); });

}  // namespace
