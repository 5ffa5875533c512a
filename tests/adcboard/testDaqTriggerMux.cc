// The DAQ trigger multiplexer: mode registers, ADC divider and trigger forwarding per mode.
#include "ServicesFixture.h"

#include <Corvane/Exception.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <limits>

using namespace Corvane;
using adcboard::ServicesApp;

namespace {

  struct MuxRegisters {
    std::uint32_t mux1, enable, divider;
  };

  MuxRegisters registersOf(DummyBackend& board) {
    return {board.getRegister<std::uint32_t>("Adc.WORD_DAQ_MUX1").at(0),
        board.getRegister<std::uint32_t>("Adc.daqEnableForRawMode").at(0),
        board.getRegister<std::uint32_t>("Adc.timingDividerAdc").at(0)};
  }

  void pulse(TestFacility& test, std::int64_t number) {
    test.writeScalar<std::int64_t>("/Server/triggerNumber", number);
    test.stepApplication();
  }

} // namespace

TEST(DaqTriggerMux, StartForwardsTheInitialTriggerToTheInitialMode) {
  struct Case {
    std::int32_t rawMode;
    std::string forwardedTo, silent;
    MuxRegisters expected;
  };
  for(auto& c : {Case{0, "normalTrigger", "rawTrigger", {1, 1, 11}}, Case{1, "rawTrigger", "normalTrigger", {2, 2, 3}}}) {
    SCOPED_TRACE(c.rawMode);
    ServicesApp app;
    TestFacility test(app);
    test.setScalarDefault<std::int64_t>("/Server/triggerNumber", 7);
    test.setScalarDefault<std::int32_t>("/AdcBoard0/rawDaqMode", c.rawMode);
    test.setScalarDefault<std::uint32_t>("/SamplingScheme/timingDividerController", 11);
    test.runApplication();
    // the initial trigger number goes to the initial mode only; the other mode's trigger is
    // not written at all, so its device module reads nothing
    EXPECT_EQ(test.readScalar<std::int32_t>("/AdcBoard0/" + c.forwardedTo), 7);
    EXPECT_EQ(test.updateCount("/AdcBoard0/" + c.forwardedTo), 1u);
    EXPECT_EQ(test.updateCount("/AdcBoard0/" + c.silent), 0u);
    auto regs = registersOf(*adcboard::dummy("Adc0"));
    EXPECT_EQ(regs.mux1, c.expected.mux1);
    EXPECT_EQ(regs.enable, c.expected.enable);
    EXPECT_EQ(regs.divider, c.expected.divider);
  }
}

TEST(DaqTriggerMux, TriggerNumbersAreForwardedModulo32Bits) {
  ServicesApp app;
  TestFacility test(app);
  test.runApplication();
  struct Case {
    std::int64_t number;
    std::int32_t forwarded;
  };
  for(auto c : {Case{(std::int64_t{1} << 32) + 5, 5}, Case{std::int64_t{1} << 31, std::numeric_limits<std::int32_t>::min()},
          Case{-1, -1}, Case{123456, 123456}}) {
    trigger(test, c.number);
    EXPECT_EQ(test.readScalar<std::int32_t>("/AdcBoard0/normalTrigger"), c.forwarded) << c.number;
  }
}

TEST(DaqTriggerMux, ModeSwitchTakesEffectAtTheNextTriggerAndWritesRegistersOnlyOnChange) {
  ServicesApp app;
  TestFacility test(app);
  test.setScalarDefault<std::uint32_t>("/SamplingScheme/timingDividerController", 11);
  test.runApplication();
  auto board = adcboard::dummy("Adc0");
  board->resetWriteCounts();

  for(int i = 1; i <= 3; ++i) pulse(test, i);
  EXPECT_EQ(test.updateCount("/AdcBoard0/normalTrigger"), 4u); // the initial trigger and three
  EXPECT_EQ(board->getWriteCount("Adc.WORD_DAQ_MUX1"), 0u);
  EXPECT_EQ(board->getWriteCount("Adc.daqEnableForRawMode"), 0u);
  EXPECT_EQ(board->getWriteCount("Adc.timingDividerAdc"), 0u);

  // the mode is polled: nothing happens before the next trigger
  test.writeScalar<std::int32_t>("/AdcBoard0/rawDaqMode", 1);
  test.stepApplication();
  EXPECT_EQ(registersOf(*board).mux1, 1u);
  trigger(test, 4);
  auto regs = registersOf(*board);
  EXPECT_EQ(regs.mux1, 2u);
  EXPECT_EQ(regs.enable, 2u);
  EXPECT_EQ(regs.divider, 3u); // rawAdcDecimation 4 minus 1
  EXPECT_EQ(test.readScalar<std::int32_t>("/AdcBoard0/rawTrigger"), 4);
  trigger(test, 5);
  EXPECT_EQ(test.updateCount("/AdcBoard0/rawTrigger"), 2u);
  EXPECT_EQ(test.updateCount("/AdcBoard0/normalTrigger"), 4u);
  EXPECT_EQ(board->getWriteCount("Adc.WORD_DAQ_MUX1"), 1u);
  EXPECT_EQ(board->getWriteCount("Adc.timingDividerAdc"), 1u);

  // back to amplitude/phase: both mode registers and the controller's divider are restored
  test.writeScalar<std::int32_t>("/AdcBoard0/rawDaqMode", 0);
  trigger(test, 6);
  regs = registersOf(*board);
  EXPECT_EQ(regs.mux1, 1u);
  EXPECT_EQ(regs.enable, 1u);
  EXPECT_EQ(regs.divider, 11u);
  EXPECT_EQ(test.readScalar<std::int32_t>("/AdcBoard0/normalTrigger"), 6);
  EXPECT_EQ(test.updateCount("/AdcBoard0/rawTrigger"), 2u);

  // in amplitude/phase mode the divider follows the controller's divider
  test.writeScalar<std::uint32_t>("/SamplingScheme/timingDividerController", 23);
  trigger(test, 7);
  EXPECT_EQ(registersOf(*board).divider, 23u);
}

TEST(DaqTriggerMux, RawModeSetsTheRawDividerWhateverTheDividerHeld) {
  struct Case {
    std::string rawAdcDecimation;
    std::uint32_t controllerDivider, rawDivider;
  };
  // a controller divider of 0 (decimation and IQ length 1) must not keep raw mode at divider 0
  for(auto& c : {Case{"4", 0, 3}, Case{"4", 11, 3}, Case{"1", 11, 0}, Case{"10", 9, 9}}) {
    SCOPED_TRACE(c.rawAdcDecimation + " " + std::to_string(c.controllerDivider));
    ServicesApp app(c.rawAdcDecimation);
    TestFacility test(app);
    test.setScalarDefault<std::uint32_t>("/SamplingScheme/timingDividerController", c.controllerDivider);
    test.runApplication();
    auto board = adcboard::dummy("Adc0");
    EXPECT_EQ(registersOf(*board).divider, c.controllerDivider);
    test.writeScalar<std::int32_t>("/AdcBoard0/rawDaqMode", -3); // any non-zero value is raw mode
    trigger(test, 1);
    EXPECT_EQ(registersOf(*board).divider, c.rawDivider);
    EXPECT_EQ(test.readScalar<std::int32_t>("/AdcBoard0/rawTrigger"), 1);
  }
}

TEST(DaqTriggerMux, RawDecimationMissingOrZeroStopsConstruction) {
  for(std::string decimation : {"", "0"}) {
    try {
      ServicesApp app(decimation);
      FAIL() << "constructed with rawAdcDecimation '" << decimation << "'";
    }
    catch(Corvane::logic_error& e) {
      EXPECT_NE(std::string(e.what()).find("Configuration/rawAdcDecimation"), std::string::npos) << e.what();
    }
  }
}
