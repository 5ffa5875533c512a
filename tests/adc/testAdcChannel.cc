// The ADC channel group and its FIFO delay module inside a board application with a dummy board: naming of
// the channel directory, the delay written with its reset pulse, and delays outside 0 to 255 refused.
#include "AdcBoardFixture.h"

#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

using namespace adctest;
using namespace std::chrono_literals;

namespace {

  const std::string delayRegister = "Adc.Channel0.adcFifoDelay";
  const std::string resetRegister = "Adc.Channel0.adcFifoReset";

  struct DelayBoard {
    explicit DelayBoard(std::int32_t initialDelay) : app(BoardSettings{.name = "adcdelay"}), test(app) {
      test.setScalarDefault<std::int32_t>(channel0 + "delay", initialDelay);
      test.runApplication();
      board = boardBackend();
    }
    std::int32_t delayInFirmware() { return board->getRegister<std::int32_t>(delayRegister).at(0); }
    std::int32_t resetInFirmware() { return board->getRegister<std::int32_t>(resetRegister).at(0); }
    std::size_t delayWrites() { return board->getWriteCount(delayRegister); }
    std::size_t resetWrites() { return board->getWriteCount(resetRegister); }
    void setDelay(std::int32_t delay) {
      test.writeScalar<std::int32_t>(channel0 + "delay", delay);
      test.stepApplication();
    }

    LogCapture log;
    BoardApp app;
    Corvane::TestFacility test;
    std::shared_ptr<LockWatchingBackend> board;
  };

} // namespace

TEST(AdcChannel, ChannelDirectoryIsNamedAfterTheChannelNumber) {
  // The board passes "Channel" + j, but the group takes its name from the number alone.
  struct NamingApp : Corvane::Application {
    NamingApp() : Corvane::Application("adcnaming"), dmap(writeBoardFiles(BoardSettings{.name = "adcnaming"})) {
      channels.reserve(2);
      channels.emplace_back(&board, "whatever", "Input channel 7", 7, 1, 0.0, -1.0);
      channels.emplace_back(&board, "Channel12", "Input channel 12", 12, 1, 0.0, -1.0);
    }
    Corvane::SetDMapFilePath dmap;
    Corvane::ConfigReader config{this, ".", "adcnaming_base_config.xml"};
    Corvane::ModuleGroup board{this, "AdcBoard0", ""};
    std::vector<AdcChannel> channels;
  } app;
  EXPECT_EQ(app.channels[0].getName(), "Channel7");
  EXPECT_EQ(app.channels[0].name, "whatever");
  EXPECT_EQ(app.channels[0].channel, 7u);
  EXPECT_EQ(app.channels[1].getName(), "Channel12");
  EXPECT_EQ(app.channels[0].getDescription(), "Input channel 7");
  EXPECT_EQ(app.channels[0].computations.getDescription(),
      "Compute power and extract sample values from ADC channel data");
  EXPECT_EQ(app.channels[0].delayModule.getDescription(), "ADC FIFO delay");
  EXPECT_EQ(app.channels[0].filter.getName(), "Filter");
  EXPECT_EQ(app.channels[0].calibration.getName(), "Calibration");
  EXPECT_EQ(app.channels[0].calibration.tableSize, 1u);
}

TEST(AdcChannel, DelayIsWrittenBeforeAResetPulseOfOneMillisecond) {
  DelayBoard channel(12);
  EXPECT_EQ(channel.delayInFirmware(), 12);
  EXPECT_EQ(channel.resetInFirmware(), 1);
  channel.test.advanceTime(999us);
  EXPECT_EQ(channel.resetInFirmware(), 1);
  channel.test.advanceTime(1us);
  EXPECT_EQ(channel.resetInFirmware(), 0);
  EXPECT_EQ(channel.delayWrites(), 1u);
  EXPECT_EQ(channel.resetWrites(), 2u);

  // The same value again still gives a write and a full reset pulse.
  channel.setDelay(12);
  EXPECT_EQ(channel.delayWrites(), 2u);
  EXPECT_EQ(channel.resetInFirmware(), 1);
  channel.test.advanceTime(1ms);
  EXPECT_EQ(channel.resetInFirmware(), 0);
  EXPECT_EQ(channel.resetWrites(), 4u);
}

TEST(AdcChannel, DelaysOutsideTheFirmwareRangeAreRefused) {
  struct Step {
    std::int32_t delay;
    std::int32_t inFirmware;
    bool accepted;
  };
  const std::vector<Step> steps{{44, 44, true}, {300, 44, false}, {-1, 44, false}, {255, 255, true}, {256, 255, false},
      {0, 0, true}};
  DelayBoard channel(7);
  channel.test.advanceTime(1ms);
  std::size_t writes = channel.delayWrites();
  for(const auto& step : steps) {
    channel.setDelay(step.delay);
    channel.test.advanceTime(1ms);
    if(step.accepted) ++writes;
    EXPECT_EQ(channel.delayInFirmware(), step.inFirmware) << step.delay;
    EXPECT_EQ(channel.delayWrites(), writes) << step.delay;
    EXPECT_EQ(channel.resetInFirmware(), 0) << step.delay;
    EXPECT_EQ(channel.log.warningsContaining("ADC FIFO delay " + std::to_string(step.delay) + " ").size(),
        step.accepted ? 0u : 1u)
        << step.delay;
  }
  EXPECT_EQ(channel.resetWrites(), 2 * writes);
}

TEST(AdcChannel, ARefusedInitialDelayWritesNothing) {
  DelayBoard channel(-5);
  channel.test.advanceTime(1ms);
  EXPECT_EQ(channel.delayWrites(), 0u);
  EXPECT_EQ(channel.resetWrites(), 0u);
  const auto warnings = channel.log.warningsContaining("ADC FIFO delay -5 ");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("keeps its delay"), std::string::npos) << warnings[0];
  channel.setDelay(3);
  EXPECT_EQ(channel.delayInFirmware(), 3);
}
