// The virtual-lab module in its application: applications one after another each with their own
// board and trigger, the loaded Q refused when not finite and positive, a second board and a
// controller alias that is no simulated board, and a register map the board cannot use.
#include "BoardApplication.h"

#include <Corvane/LogCapture.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

using simulatedboard::BoardTest;

TEST(VirtualLabModule, ApplicationsInARowEachGetTheirOwnBoardAndTriggerFeeder) {
  std::weak_ptr<SISLDummy> first;
  for(int run = 0; run < 2; ++run) {
    BoardTest t;
    auto board = t.board();
    EXPECT_NE(board, first.lock()) << run; // the board went with its application
    first = board;
    t.trigger();
    t.trigger();
    EXPECT_EQ(t.test.readScalar<std::int64_t>("/Server/triggerNumber"), 2) << run;
    EXPECT_EQ(t.test.readScalar<double>("/Model/simulatedQl"), 3e6) << run;
    std::lock_guard lock(board->mutex());
    EXPECT_EQ(board->timers().getCurrentTime(), 200'000'000'000) << run;
  }
  EXPECT_TRUE(first.expired());
}

TEST(VirtualLabModule, TestTriggerValuesZeroAndTwoDoNotAdvanceTheBoardTime) {
  BoardTest t;
  auto board = t.board();
  t.trigger(0);
  EXPECT_EQ(t.test.readScalar<std::int64_t>("/Server/triggerNumber"), 1);
  {
    std::lock_guard lock(board->mutex());
    EXPECT_EQ(board->timers().getCurrentTime(), 0);
  }
  t.set<std::uint32_t>("CTABLES.BIT_CTL_TABLES_BUF", {0x4});
  t.trigger(2); // the trigger event alone: tables taken over, time stands
  EXPECT_EQ(t.test.readScalar<std::int64_t>("/Server/triggerNumber"), 2);
  EXPECT_EQ(board->getRegister<std::uint32_t>("CTABLES.BIT_CTL_TABLES_BUF_ACTUAL").at(0), 0x4U);
  std::lock_guard lock(board->mutex());
  EXPECT_EQ(board->timers().getCurrentTime(), 0);
}

TEST(VirtualLabModule, CavityParametersThatAreNotFiniteOrNotPositiveAreWrittenBack) {
  BoardTest t;
  auto& model = t.board()->virtualLabModule().cavityModel();
  t.test.writeScalar<double>("/Model/simulatedQl", 1e6);
  t.trigger();
  EXPECT_DOUBLE_EQ(model.getHalfBandwidth(), 650.0);
  struct Case {
    const char* path;
    double value;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  for(const auto& c : {Case{"/Model/simulatedQl", 0.0}, Case{"/Model/simulatedQl", -5.0},
          Case{"/Model/simulatedQl", nan}, Case{"/Model/simulatedQl", inf}, Case{"/Model/simulatedDetuning", nan},
          Case{"/Model/simulatedImpedance", -inf}}) {
    t.test.writeScalar<double>(c.path, c.value);
    t.trigger();
    EXPECT_EQ(t.test.readScalar<double>("/Model/simulatedQl"), 1e6) << c.path << " " << c.value;
    EXPECT_EQ(t.test.readScalar<double>("/Model/simulatedDetuning"), 0.0) << c.path << " " << c.value;
    EXPECT_EQ(t.test.readScalar<double>("/Model/simulatedImpedance"), 100.0) << c.path << " " << c.value;
    EXPECT_EQ(model.getQL(), 1e6) << c.path << " " << c.value;
    EXPECT_EQ(model.getDetuning(), 0.0) << c.path << " " << c.value;
    EXPECT_EQ(model.getImpedance(), 100.0) << c.path << " " << c.value;
  }
}

TEST(VirtualLabModule, SecondBoardKeepsItsOwnCounterAndEndsItsModule) {
  Corvane::LogCapture log("VirtualLabModule");
  BoardTest t(
      "CtrlBoard (SISLDummy:1?map=simulatedboard.map)\nSecond (SISLDummy:2?map=simulatedboard.map)\n", {"Second"});
  auto second = t.board("Second");
  ASSERT_TRUE(second);
  ASSERT_NE(second, t.board());
  t.trigger();
  t.trigger();
  EXPECT_EQ(t.test.readScalar<std::int64_t>("/Server/triggerNumber"), 2);
  EXPECT_EQ(t.test.readScalar<std::int64_t>("/Model1/trigger"), 0);
  EXPECT_EQ(t.test.readScalar<double>("/Model1/simulatedQl"), 0.0); // its module ended before its first write
  {
    std::lock_guard lock(second->mutex());
    EXPECT_EQ(second->timers().getCurrentTime(), 0);
  }
  const auto lines = log.textsFrom("VirtualLabModule");
  ASSERT_EQ(lines.size(), 1U);
  EXPECT_EQ(lines[0],
      "VirtualLab module of a second simulated board: the device alias CtrlBoard names another "
      "board. Terminating module thread.");
}

TEST(VirtualLabModule, ControllerAliasThatIsNoSimulatedBoardEndsTheModule) {
  Corvane::LogCapture log("VirtualLabModule");
  BoardTest t("CtrlBoard (dummy:1?map=simulatedboard.map)\nSim (SISLDummy:2?map=simulatedboard.map)\n", {"Sim"});
  EXPECT_EQ(log.textsFrom("VirtualLabModule"),
      std::vector<std::string>{
          "VirtualLab module enabled despite not using the SISLDummy device. Terminating module thread."});
  EXPECT_EQ(t.test.readScalar<std::int64_t>("/Server/triggerNumber"), 0);
}

TEST(VirtualLabModule, TableRegisterOfAnotherLengthIsRefusedNamingIt) {
  {
    std::ifstream in("simulatedboard.map");
    std::ofstream out("shortgain.map");
    for(std::string line; std::getline(in, line);) {
      if(line.rfind("CTABLES.AREA_GP_Q", 0) == 0) line = "CTABLES.AREA_GP_Q 16000 0x80000 64000 0 18 16 1 RW";
      out << line << "\n";
    }
  }
  const auto refusal = simulatedboard::refusalOf("CtrlBoard (SISLDummy:1?map=shortgain.map)\n");
  EXPECT_THAT(refusal, testing::HasSubstr("/CTABLES/AREA_GP_Q"));
  EXPECT_THAT(refusal, testing::HasSubstr("16000"));
}
