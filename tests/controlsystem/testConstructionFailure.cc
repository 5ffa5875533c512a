// The end of a program whose application could not be built: the reason on standard error with
// exit status 1, or a refusal's own lines on its own stream with its own exit status.
#include <Corvane/Cs/ConstructionFailure.h>
#include <Corvane/Exception.h>
#include <Corvane/StartUpRefusal.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

using Corvane::StartUpRefusal;
using Corvane::Cs::ConstructionFailure;

namespace {

  struct NoStandardException {};

} // namespace

TEST(ConstructionFailureDeathTest, AnyOtherExceptionIsNamedOnStandardErrorWithStatus1) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    std::exception_ptr failure;
    std::string reason;
  };
  for(const auto& c : std::vector<Case>{
          {std::make_exception_ptr(Corvane::logic_error("missing key \"Configuration/pulseLength\"")),
              "missing key \"Configuration/pulseLength\""},
          {std::make_exception_ptr(std::runtime_error("device Adc0 cannot be opened")), "device Adc0 cannot be opened"},
          {std::make_exception_ptr(NoStandardException{}), "unknown exception"}, {nullptr, "unknown exception"}}) {
    SCOPED_TRACE(c.reason);
    EXPECT_EXIT(ConstructionFailure::endProcess(c.failure), ::testing::ExitedWithCode(1),
        "test_controlsystem: the application could not be constructed: " + c.reason + "\n");
  }
}

TEST(ConstructionFailureDeathTest, ARefusalWritesExactlyItsLinesToStandardErrorWithItsStatus) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto refusal = std::make_exception_ptr(
      StartUpRefusal({"!!! refused:", " the reason"}, StartUpRefusal::Stream::standardError, 3));
  EXPECT_EXIT(ConstructionFailure::endProcess(refusal), ::testing::ExitedWithCode(3), "^!!! refused:\n the reason\n$");
}

TEST(ConstructionFailureDeathTest, ARefusalWritesExactlyItsLinesToStandardOutputWithItsStatus) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // the dying process sends its standard output to a file whose name both processes know (it runs
  // this test from its start again)
  const std::filesystem::path output = "construction_failure_stdout.txt";
  std::filesystem::remove(output);
  auto refusal = std::make_exception_ptr(StartUpRefusal({"!!! refused"}, StartUpRefusal::Stream::standardOutput, 2));
  EXPECT_EXIT(
      {
        if(!std::freopen(output.c_str(), "w", stdout)) std::abort();
        ConstructionFailure::endProcess(refusal);
      },
      ::testing::ExitedWithCode(2), "^$");
  std::ifstream file(output);
  std::stringstream content;
  content << file.rdbuf();
  EXPECT_EQ(content.str(), "!!! refused\n");
  std::filesystem::remove(output);
}
