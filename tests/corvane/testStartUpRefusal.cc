// A refusal to start: a module's prepare() that throws Corvane::StartUpRefusal ends the process at start-up
// with exactly the refusal's lines on the chosen stream and its exit status.
#include <Corvane/Corvane.h>
#include <Corvane/StartUpRefusal.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace Corvane;

namespace {

  struct Refuser : ApplicationModule {
    Refuser(ModuleGroup* owner, StartUpRefusal refusal_)
    : ApplicationModule(owner, "Refuser", ""), refusal(std::move(refusal_)) {}
    ScalarOutput<int> value{this, "value", "", ""};
    StartUpRefusal refusal;
    void prepare() override { throw refusal; }
    void mainLoop() override {}
  };

  struct RefusingApp : Application {
    explicit RefusingApp(StartUpRefusal refusal) : Application("refusing"), refuser(this, std::move(refusal)) {}
    Refuser refuser;
  };

  void runRefusing(const StartUpRefusal& refusal) {
    RefusingApp app(refusal);
    TestFacility test(app);
    test.runApplication();
  }

} // namespace

TEST(StartUpRefusal, TextIsTheLinesJoined) {
  StartUpRefusal refusal({"first", "", "third"}, StartUpRefusal::Stream::standardError, 1);
  EXPECT_STREQ(refusal.what(), "first\n\nthird");
  EXPECT_EQ(refusal.exitStatus(), 1);
}

TEST(StartUpRefusalDeathTest, PrepareEndsTheProcessWithTheLinesOnStandardError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(runRefusing(StartUpRefusal({"*** refused:", " the reason"}, StartUpRefusal::Stream::standardError, 3)),
      ::testing::ExitedWithCode(3), "\\*\\*\\* refused:\n the reason\n");
}

TEST(StartUpRefusalDeathTest, PrepareEndsTheProcessWithTheLinesOnStandardOutput) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // the process that dies sends its standard output to a file (a name both processes know: the dying one
  // runs this test from its start again)
  const std::filesystem::path output = "startup_refusal_stdout.txt";
  std::filesystem::remove(output);
  EXPECT_EXIT(
      {
        if(!std::freopen(output.c_str(), "w", stdout)) std::abort();
        runRefusing(StartUpRefusal({"!!! refused"}, StartUpRefusal::Stream::standardOutput, 1));
      },
      ::testing::ExitedWithCode(1), "");
  std::ifstream file(output);
  std::stringstream content;
  content << file.rdbuf();
  EXPECT_EQ(content.str(), "!!! refused\n");
  std::filesystem::remove(output);
}
