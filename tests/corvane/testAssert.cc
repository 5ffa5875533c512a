// Run-time contract checks: a failed CORVANE_ASSERT ends the process naming the condition, the file and the
// module thread, in this optimised build too; a broken accessor contract fails its module with a message that
// names the accessor, the framework's file and line and the module.
#include <Corvane/Assert.h>
#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <regex>

using namespace Corvane;

namespace {

  /// Takes one action per value of "/action": 1 keeps every contract, the others break one.
  struct Breaker : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> action{this, "/action", "", ""};
    ArrayOutput<float> data{this, "/data", "", 4, ""};
    ScalarOutput<int> done{this, "/done", "", ""};
    void mainLoop() override {
      while(true) {
        if(action == 2) data = std::vector<float>(3);
        if(action == 3) action.write(); // an input without write-back cannot send
        CORVANE_ASSERT(action != 4);
        done.setAndWrite(action);
        action.read();
      }
    }
  };

  struct BreakerApp : Application {
    BreakerApp() : Application("contracts") {}
    Breaker breaker{this, "Breaker", ""};
  };

  void runAction(int action) {
    BreakerApp app;
    TestFacility test(app);
    test.runApplication();
    test.writeScalar<int>("/action", action);
    test.stepApplication();
  }

} // namespace

TEST(Contracts, KeptContractsLetTheModuleRun) {
  BreakerApp app;
  TestFacility test(app);
  test.runApplication();
  test.writeScalar<int>("/action", 1);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<int>("/done"), 1);
  EXPECT_EQ(app.exitStatus(), 0);
}

TEST(Contracts, ABrokenAccessorContractFailsTheModuleNamingAccessorPlaceAndModule) {
  struct Case {
    int action;
    std::string message; // a regular expression for the whole failure message
  };
  const std::string module = "/contracts/Breaker";
  const Case cases[] = {
      {2, module + R"(: Array /data has 4 elements, got 3 \(at ArrayAccessor\.h:[0-9]+, module )" + module + R"(\))"},
      {3, module + R"(: Variable /action cannot be written by its input \(push, int32\[1\]\) of )" + module +
              R"( \(at Accessor\.cc:[0-9]+, module )" + module + R"(\))"}};
  for(auto& c : cases) {
    SCOPED_TRACE(c.action);
    BreakerApp app;
    TestFacility test(app);
    test.runApplication();
    test.writeScalar<int>("/action", c.action);
    EXPECT_THROW(test.stepApplication(), Corvane::runtime_error);
    EXPECT_EQ(app.exitStatus(), 1);
    EXPECT_TRUE(std::regex_match(app.failureMessage(), std::regex(c.message))) << app.failureMessage();
  }
}

TEST(Contracts, OutsideAModuleThreadThePlaceIsFileAndLine) {
  ArrayOutput<float> unowned;
  try {
    unowned = std::vector<float>(2);
    FAIL() << "no error";
  }
  catch(Corvane::logic_error& e) {
    const std::regex expected(R"(Array .* has 0 elements, got 2 \(at ArrayAccessor\.h:[0-9]+\))");
    EXPECT_TRUE(std::regex_match(e.what(), expected)) << e.what();
  }
  const auto line = __LINE__ + 2;
  try {
    breakOfContract("the caller's rule");
  }
  catch(Corvane::logic_error& e) {
    EXPECT_EQ(std::string(e.what()), "the caller's rule (at testAssert.cc:" + std::to_string(line) + ")");
  }
}

TEST(ContractsDeathTest, AFailedAssertionEndsTheProcessNamingConditionPlaceAndModule) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(runAction(4),
      R"(testAssert\.cc:[0-9]+: .*mainLoop.*: Assertion `action != 4' failed \(module /contracts/Breaker\)\.)");
  // off a module thread no module is named; the check stays in builds without debugging checks
  int value = 1;
  EXPECT_DEATH(CORVANE_ASSERT(value == 2), R"(testAssert\.cc:[0-9]+: .*: Assertion `value == 2' failed\.)");
}
