// The simulated board's model parameters from its device descriptor: the table length its firmware plays
// (held between pulses, so continuous-wave mode keeps the cavity filled), the vector modulator's own offsets
// (leakage with RF off that the DAC offsets cancel), and values out of range refused naming the parameter.
#include "BoardApplication.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

using simulatedboard::BoardTest;

namespace {
  std::string boardWith(const std::string& parameters) {
    return "CtrlBoard (SISLDummy:1?map=simulatedboard.map" + parameters + ")\n";
  }

  /// Drive and inputs neither rotated nor attenuated; the cavity field (input 2) is the vector sum, so the board
  /// steps the cavity at every state it computes, also between pulses.
  void measureDriveAndCavity(BoardTest& t) {
    std::vector<double> cosine(48, 0.0);
    for(std::size_t i = 0; i < 8; ++i) cosine[6 * i] = 1.0;
    t.set<double>("FD.WORD_IQ_COS", cosine);
    t.set<double>("OVC.WORD_ROT_RE", {1.0});
    t.set<double>("CTRL.WORD_VS_ROT_RE", {1.0});
    t.set<std::int32_t>("FD.WORD_VS_CH_ENA", {0x4});
  }
} // namespace

TEST(BoardModelParameters, FirmwareHoldsTheLastTableEntryItPlaysUntilTheNextPulse) {
  struct Case {
    std::string parameters;
    double driveAfterTable; ///< the drive beyond the 2048 entries the station writes
    bool filledAtPulseStart;
  };
  // the station writes 2048 entries of a constant feed-forward (continuous wave); the rest of the board's table is 0
  const double drive = 5.0 * 1000.0;
  const double field = 2.0 * 100.0 * drive;
  for(const Case& c :
      {Case{"", 0.0, false}, Case{"&tableLength=16384", 0.0, false}, Case{"&tableLength=2048", drive, true}}) {
    SCOPED_TRACE(c.parameters);
    BoardTest t(boardWith(c.parameters));
    EXPECT_EQ(t.board()->getTableLength(), c.parameters.empty() ? 16384U : std::stoul(c.parameters.substr(13)));
    measureDriveAndCavity(t);
    std::vector<std::int32_t> table(SISLDummy::nSamples, 0);
    std::fill(table.begin(), table.begin() + 2048, 1000);
    t.set<std::int32_t>("CTABLES.AREA_FF_I", table);
    t.set<std::uint32_t>("CTABLES.BIT_CTL_TABLES_BUF", {0x1});
    t.set<std::int32_t>("CTRL.BIT_FF_ENA", {1});
    for(int k = 0; k < 8; ++k) t.trigger();

    const auto driveI = t.daq("APP.DAQ0_BUF0", 12);
    EXPECT_EQ(driveI[2047], drive);
    EXPECT_EQ(driveI[2048], c.driveAfterTable);
    EXPECT_EQ(driveI[16383], c.driveAfterTable);
    // the field at the pulse's first sample is what the time since the last pulse left of it (plus the filling of
    // the one coarse step of the board's states that leads to the trigger)
    const double atStart = t.daq("APP.DAQ1_BUF0", 4)[0];
    if(c.filledAtPulseStart) {
      EXPECT_NEAR(atStart, field, 0.01 * field);
    } else {
      EXPECT_LT(atStart, 0.02 * field);
    }
  }
}

TEST(BoardModelParameters, VectorModulatorOffsetsLeakWithRfOffUntilTheDacOffsetCancelsThem) {
  BoardTest t(boardWith("&vmOffsetI=300&vmOffsetQ=-200.5"));
  measureDriveAndCavity(t);
  t.set<std::int32_t>("FD.WORD_VS_CH_ENA", {0x80}); // the drive alone is the vector sum
  // the first pulse after start-up begins where the states before the first trigger left the index
  for(int k = 0; k < 3; ++k) t.trigger();
  EXPECT_EQ(t.daq("APP.DAQ0_BUF0", 12)[100], 5.0 * 300.0);
  EXPECT_EQ(t.daq("APP.DAQ0_BUF0", 13)[100], 5.0 * -200.5);
  EXPECT_EQ(t.daq("APP.DAQ0_BUF0", 0)[100], 5.0 * 300.0); // the vector sum sees the leakage

  t.set<std::int32_t>("OUTPUT.WORD_DAC_OFFSET", {-300, 200});
  t.trigger();
  EXPECT_EQ(t.daq("APP.DAQ0_BUF0", 12)[100], 0.0);
  EXPECT_EQ(t.daq("APP.DAQ0_BUF0", 13)[100], 5.0 * -0.5);
}

TEST(BoardModelParameters, ValuesOutOfRangeAreRefusedNamingTheParameter) {
  struct Case {
    std::string parameters, expected;
  };
  for(const Case& c : std::vector<Case>{
          {"&tableLength=0", "tableLength=0 is not a whole number from 1 to 16384"},
          {"&tableLength=16385", "tableLength=16385 is not a whole number from 1 to 16384"},
          {"&tableLength=-1", "tableLength=-1 is not a whole number"},
          {"&tableLength=2k", "tableLength=2k is not a whole number"},
          {"&vmOffsetI=nan", "vmOffsetI=nan is not a finite number"},
          {"&vmOffsetQ=1e999", "vmOffsetQ=1e999 is not a finite number"},
          {"&vmOffsetQ=abc", "vmOffsetQ=abc is not a finite number"},
      }) {
    EXPECT_THAT(simulatedboard::refusalOf(boardWith(c.parameters)), testing::HasSubstr(c.expected)) << c.parameters;
  }
}
