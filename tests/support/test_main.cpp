// The test programs' main. On Windows, GoogleTest's printer also hands each
// failure or skip to OutputDebugString, which raises an exception; under
// Wine in qemu's user-mode emulation (how 32-bit Wine runs on a kernel
// without 32-bit support) dispatching that exception kills the process, so
// the first failure would take every later test with it. There the printer
// below writes the same text to the output only.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

#ifdef _WIN32
class OutputOnlyPrinter : public ::testing::TestEventListener {
 public:
  explicit OutputOnlyPrinter(::testing::TestEventListener* inner) : inner_(inner) {}

  void OnTestPartResult(const ::testing::TestPartResult& result) override {
    if (result.type() == ::testing::TestPartResult::kSuccess) return;
    std::printf("%s:%d: %s%s\n", result.file_name() ? result.file_name() : "unknown file",
                result.line_number(), result.skipped() ? "Skipped\n" : "Failure\n",
                result.message());
    std::fflush(stdout);
  }

  void OnTestProgramStart(const ::testing::UnitTest& u) override { inner_->OnTestProgramStart(u); }
  void OnTestIterationStart(const ::testing::UnitTest& u, int i) override {
    inner_->OnTestIterationStart(u, i);
  }
  void OnEnvironmentsSetUpStart(const ::testing::UnitTest& u) override {
    inner_->OnEnvironmentsSetUpStart(u);
  }
  void OnEnvironmentsSetUpEnd(const ::testing::UnitTest& u) override {
    inner_->OnEnvironmentsSetUpEnd(u);
  }
  void OnTestSuiteStart(const ::testing::TestSuite& s) override { inner_->OnTestSuiteStart(s); }
  void OnTestStart(const ::testing::TestInfo& t) override { inner_->OnTestStart(t); }
  void OnTestEnd(const ::testing::TestInfo& t) override { inner_->OnTestEnd(t); }
  void OnTestSuiteEnd(const ::testing::TestSuite& s) override { inner_->OnTestSuiteEnd(s); }
  void OnEnvironmentsTearDownStart(const ::testing::UnitTest& u) override {
    inner_->OnEnvironmentsTearDownStart(u);
  }
  void OnEnvironmentsTearDownEnd(const ::testing::UnitTest& u) override {
    inner_->OnEnvironmentsTearDownEnd(u);
  }
  void OnTestIterationEnd(const ::testing::UnitTest& u, int i) override {
    inner_->OnTestIterationEnd(u, i);
  }
  void OnTestProgramEnd(const ::testing::UnitTest& u) override { inner_->OnTestProgramEnd(u); }

 private:
  std::unique_ptr<::testing::TestEventListener> inner_;
};
#endif

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
#ifdef _WIN32
  // A crash ends the program at once, without waiting for a debugger.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  auto& listeners = ::testing::UnitTest::GetInstance()->listeners();
  if (auto* printer = listeners.default_result_printer())
    listeners.Append(new OutputOnlyPrinter(listeners.Release(printer)));
#endif
  return RUN_ALL_TESTS();
}
