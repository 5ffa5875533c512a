// The simulated board's power-on register values from the set-up file named by its device
// descriptor: applied through the registers' fixed-point formats before the first pulse, and a
// faulty file refused naming file, line and fault.
#include "BoardApplication.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

using simulatedboard::BoardTest;

namespace {
  std::string deviceMapWithSetup(const std::string& setupText) {
    std::ofstream("board.setup") << setupText;
    return "CtrlBoard (SISLDummy:1?map=simulatedboard.map&setup=board.setup)\n";
  }
} // namespace

TEST(BoardSetup, RegistersHoldTheSetUpValuesAndTheCavityMakesTheVectorSum) {
  BoardTest t(deviceMapWithSetup("# inputs\nFD.WORD_VS_CH_ENA 4\n\nFD.WORD_IQ_COS 1 0 0 0 0 0 0.5  # input 1 halved\n"
                                 "CTRL.WORD_VS_ROT_RE 1\nOVC.WORD_ROT_RE 1\nCTRL.BIT_FF_ENA 1\n"));
  auto board = t.board();
  EXPECT_EQ(board->getRegister<std::int32_t>("FD.WORD_VS_CH_ENA").at(0), 4);
  const auto cosine = board->getRegister<double>("FD.WORD_IQ_COS");
  EXPECT_EQ(cosine.at(0), 1.0);
  EXPECT_EQ(cosine.at(6), 0.5);
  EXPECT_EQ(cosine.at(12), 0.0); // beyond the values given: untouched

  // with input 2's detection set too, the cavity field alone is the vector sum
  t.set<double>("FD.WORD_IQ_COS", {1, 0, 0, 0, 0, 0, 0.5, 0, 0, 0, 0, 0, 1});
  t.setAll<std::int32_t>("CTABLES.AREA_FF_I", 100);
  t.set<std::uint32_t>("CTABLES.BIT_CTL_TABLES_BUF", {0x1});
  for(int k = 0; k < 5; ++k) t.trigger();
  const auto sum = t.daq("APP.DAQ0_BUF0", 0);
  EXPECT_NEAR(sum.back(), t.daq("APP.DAQ1_BUF0", 4).back(), 1.0);
  EXPECT_GT(sum.back(), 0.0);
}

TEST(BoardSetup, FaultyFileIsRefusedNamingFileLineAndFault) {
  struct Case {
    std::string text;
    std::string expected;
  };
  for(const Case& c : std::vector<Case>{
          {"FD.WORD_VS_CH_ENA 4\nFD.NO_SUCH_REGISTER 1\n", "board.setup:2: the board's register map has no register"},
          {"# comment\nFD.WORD_VS_CH_ENA\n", "board.setup:2: register FD.WORD_VS_CH_ENA without values"},
          {"FD.WORD_VS_CH_ENA four\n", "board.setup:1: \"four\" is not a finite number"},
          {"FD.WORD_VS_CH_ENA nan\n", "board.setup:1: \"nan\" is not a finite number"},
          {"OUTPUT.WORD_DAC_OFFSET 1 2 3\n", "board.setup:1: 3 values do not fit register OUTPUT.WORD_DAC_OFFSET"},
      }) {
    EXPECT_THAT(simulatedboard::refusalOf(deviceMapWithSetup(c.text)), testing::HasSubstr(c.expected)) << c.text;
  }
}

TEST(BoardSetup, MissingSetUpFileIsRefused) {
  EXPECT_THAT(simulatedboard::refusalOf("CtrlBoard (SISLDummy:1?map=simulatedboard.map&setup=absent.setup)\n"),
      testing::HasSubstr("absent.setup"));
}
