// The ADC board group: boards with their device modules, initialisation script, services,
// monitors, channels and firmware mutex, from the trigger to every channel's outputs.
#include "BoardFixture.h"

#include <Corvane/Exception.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

using namespace Corvane;
using adcboard::Board;
using adcboard::BoardsApp;
using adcboard::dummy;
using adcboard::initRuns;
using adcboard::pulseLength;

namespace {

  std::string channelPath(std::uint32_t board, std::uint32_t channel) {
    return "/AdcBoard" + std::to_string(board) + "/Channel" + std::to_string(channel) + "/";
  }

  /// Raw DAQ data that tells board, channel and pulse apart: amplitude 100 * (100 * board +
  /// 10 * channel + pulse) + sample counts, phase 2^16 counts (90 degrees) plus the sample.
  struct RawPulse {
    std::vector<std::int32_t> amplitude, phase;
  };

  RawPulse rawPulse(std::uint32_t board, std::uint32_t channel, std::int32_t pulse) {
    RawPulse raw;
    for(std::uint32_t i = 0; i < pulseLength; ++i) {
      raw.amplitude.push_back(100 * std::int32_t(100 * board + 10 * channel + pulse) + std::int32_t(i));
      raw.phase.push_back((1 << 16) + std::int32_t(i));
    }
    return raw;
  }

  void setPulse(const Board& board, std::int32_t pulse) {
    auto device = dummy("Adc" + std::to_string(board.number));
    for(std::uint32_t j = 0; j < board.nChannels; ++j) {
      auto raw = rawPulse(board.number, j, pulse);
      const auto channel = "NormalDataMode.Channel" + std::to_string(j);
      device->setRegister(channel + ".amplitudeUncalibrated", raw.amplitude);
      device->setRegister(channel + ".phaseUncalibrated", raw.phase);
    }
  }

  /// Expects the channel's outputs to be the calibrated values of rawPulse(board, channel, pulse).
  void expectPulse(TestFacility& test, std::uint32_t board, std::uint32_t channel, std::int32_t pulse,
      VersionNumber version) {
    SCOPED_TRACE(channelPath(board, channel));
    auto raw = rawPulse(board, channel, pulse);
    auto amplitude = test.readArray<float>(channelPath(board, channel) + "amplitude");
    auto phase = test.readArray<float>(channelPath(board, channel) + "phase");
    ASSERT_EQ(amplitude.size(), pulseLength);
    ASSERT_EQ(phase.size(), pulseLength);
    for(std::uint32_t i = 0; i < pulseLength; i += 5) {
      EXPECT_FLOAT_EQ(amplitude[i], float(raw.amplitude[i] / 100.));
      EXPECT_FLOAT_EQ(phase[i], float(raw.phase[i] * 360. / 262144.));
    }
    EXPECT_FLOAT_EQ(test.readScalar<float>(channelPath(board, channel) + "Samples/amplitude"), amplitude[0]);
    EXPECT_EQ(test.getVersion(channelPath(board, channel) + "amplitude"), version);
    EXPECT_EQ(test.getVersion(channelPath(board, channel) + "phase"), version);
  }

  VersionNumber trigger(TestFacility& test, std::int64_t number) {
    VersionNumber version;
    test.writeScalar<std::int64_t>("/Server/triggerNumber", number, version);
    test.stepApplication();
    return version;
  }

} // namespace

TEST(AdcBoardRoot, EachBoardIsBuiltFromItsNameAndConfiguration) {
  BoardsApp app({{0, 2}, {12, 3}});
  TestFacility test(app);
  test.runApplication();
  struct Case {
    std::size_t index;
    std::string name, number, alias;
    std::uint32_t nChannels;
  };
  for(auto& c : {Case{0, "AdcBoard0", "0", "Adc0", 2}, Case{1, "AdcBoard12", "12", "Adc12", 3}}) {
    SCOPED_TRACE(c.name);
    auto& root = app.boards.at(c.index);
    auto& board = root.adcBoard;
    EXPECT_EQ(root.boardName, c.name);
    EXPECT_EQ(board.boardNumber, c.number);
    EXPECT_EQ(board.deviceAlias, c.alias);
    for(auto* device : {&root.device, &board.device, &board.normalDataModeDevice, &board.rawDataModeDevice}) {
      EXPECT_EQ(device->getDeviceAlias(), c.alias);
    }
    // the script is called with the board group's name, not with the device alias
    EXPECT_EQ(test.readScalar<std::string>("/" + c.name + "/initScriptOutput"), "initialised " + c.name + "\n");
    EXPECT_EQ(initRuns(c.name), 1);
    ASSERT_EQ(board.channels.size(), c.nChannels);
    for(std::uint32_t j = 0; j < c.nChannels; ++j) {
      const auto channel = "/" + c.name + "/Channel" + std::to_string(j) + "/";
      EXPECT_EQ(test.readScalar<std::uint32_t>(channel + "channelNumber"), j);
      EXPECT_EQ(app.getControlSystem().variable(channel.substr(0, channel.size() - 1) + "/amplitude").description(),
          "Amplitude over time");
      EXPECT_EQ(board.channels[j].getDescription(), "Input channel " + std::to_string(j));
      EXPECT_EQ(board.channels[j].sinSign, -1.0);
    }
    // the board's mutex serves exactly the filters of its own channels
    std::size_t clients = 0;
    const auto mutexPath = "/" + c.name + "/Configuration/filterCoefficientsValid/";
    for(auto& [path, variable] : app.getControlSystem().variables()) {
      if(path.rfind(mutexPath, 0) == 0 && path.ends_with("/inhibit")) {
        ++clients;
        EXPECT_NE(path.find("_2f" + c.name + "_2fChannel"), std::string::npos) << path;
      }
    }
    EXPECT_EQ(clients, c.nChannels);
  }
  EXPECT_TRUE(app.getControlSystem().has("/Adc12/boardStatus")); // the root's registers: top level
}

TEST(AdcBoardRoot, APulseReachesEveryChannelOfEveryBoard) {
  const std::vector<Board> boards{{0, 2}, {1, 3}};
  // also with boards that were moved while the application was built
  for(bool reserve : {true, false}) {
    SCOPED_TRACE(reserve);
    BoardsApp app(boards, reserve);
    TestFacility test(app);
    test.runApplication();
    for(std::int32_t pulse = 1; pulse <= 2; ++pulse) {
      for(auto& board : boards) setPulse(board, pulse);
      auto version = trigger(test, pulse);
      for(auto& board : boards) {
        for(std::uint32_t j = 0; j < board.nChannels; ++j) expectPulse(test, board.number, j, pulse, version);
      }
    }
    // in amplitude/phase mode no trigger reads the raw samples, not even at start: they hold
    // only the first value that the device sends when it opens
    EXPECT_EQ(test.updateCount(channelPath(1, 2) + "rawSamples"), 1u);
  }
}

TEST(AdcBoardRoot, RawModeOfOneBoardSwitchesOnlyItsReadout) {
  const std::vector<Board> boards{{0, 2}, {1, 2}};
  BoardsApp app(boards);
  TestFacility test(app);
  test.runApplication();
  for(auto& board : boards) setPulse(board, 1);
  auto normalVersion = trigger(test, 1);

  const auto rawReadings = test.updateCount("/AdcBoard0/Channel1/rawSamples");
  test.writeScalar<std::int32_t>("/AdcBoard1/rawDaqMode", 1);
  for(auto& board : boards) setPulse(board, 2);
  dummy("Adc1")->setRegister<std::int16_t>("RawDataMode.Channel1.rawSamples", std::vector<std::int16_t>(pulseLength, -5));
  auto rawVersion = trigger(test, 2);
  for(std::uint32_t j = 0; j < 2; ++j) {
    expectPulse(test, 0, j, 2, rawVersion);
    expectPulse(test, 1, j, 1, normalVersion); // board 1 delivered no amplitude/phase data
  }
  EXPECT_EQ(test.readArray<std::int16_t>("/AdcBoard1/Channel1/rawSamples"), std::vector<std::int16_t>(pulseLength, -5));
  EXPECT_EQ(test.getVersion("/AdcBoard1/Channel1/rawSamples"), rawVersion);
  EXPECT_EQ(test.updateCount("/AdcBoard0/Channel1/rawSamples"), rawReadings);
  EXPECT_EQ(dummy("Adc1")->getRegister<std::uint32_t>("Adc.daqEnableForRawMode").at(0), 2u);
  EXPECT_EQ(dummy("Adc1")->getRegister<std::uint32_t>("Adc.timingDividerAdc").at(0), 3u);
  EXPECT_EQ(dummy("Adc0")->getRegister<std::uint32_t>("Adc.daqEnableForRawMode").at(0), 1u);

  test.writeScalar<std::int32_t>("/AdcBoard1/rawDaqMode", 0);
  for(auto& board : boards) setPulse(board, 3);
  auto version = trigger(test, 3);
  for(std::uint32_t j = 0; j < 2; ++j) expectPulse(test, 1, j, 3, version);
  EXPECT_EQ(test.updateCount("/AdcBoard1/Channel1/rawSamples"), rawReadings + 1);
  EXPECT_EQ(dummy("Adc1")->getRegister<std::uint32_t>("Adc.daqEnableForRawMode").at(0), 1u);
}

TEST(AdcBoardRoot, SeuDetectionConfirmsAndCountsAcrossACounterReset) {
  BoardsApp app({{0, 1}, {1, 1}});
  TestFacility test(app);
  const std::string seu = "/AdcBoard1/FirmwareSEUDetection/";
  test.setScalarDefault<std::uint64_t>(seu + "crcErrors", 1000);
  test.runApplication();
  struct Step {
    std::uint32_t raw, crc;
    std::uint32_t confirmed;
    std::uint64_t total;
  };
  // the FPGA reboots after the third reading: its counter starts again, the 2 new errors count
  std::int64_t number = 0;
  for(auto s : {Step{1, 4, 0, 1004}, Step{1, 6, 1, 1006}, Step{0, 6, 0, 1006}, Step{0, 2, 0, 1008}, Step{1, 3, 0, 1009}}) {
    auto board = dummy("Adc1");
    board->setRegister<std::uint32_t>("Adc.FirmwareSEUDetection.unrecoverableErrorDetectedRaw", {s.raw});
    board->setRegister<std::uint32_t>("Adc.FirmwareSEUDetection.crcErrorSinceFpgaBoot", {s.crc});
    trigger(test, ++number);
    EXPECT_EQ(test.readScalar<std::uint32_t>(seu + "unrecoverableErrorDetected"), s.confirmed) << number;
    EXPECT_EQ(test.readScalar<std::uint64_t>(seu + "crcErrors"), s.total) << number;
  }
  EXPECT_EQ(test.readScalar<std::uint64_t>("/AdcBoard0/FirmwareSEUDetection/crcErrors"), 0u);
}

TEST(AdcBoardRoot, MonitorsFollowTheClockErrorAndTheAttenuatorCounter) {
  BoardsApp app({{0, 1}});
  TestFacility test(app);
  test.runApplication();
  struct Step {
    bool clockError;
    std::uint32_t attenuatorErrors;
    std::int32_t clockStatus, attenuatorStatus;
  };
  std::int64_t number = 0;
  for(auto s : {Step{false, 0, 0, 0}, Step{true, 5, 1, 1}, Step{false, 5, 0, 1}, Step{false, 0, 0, 0}}) {
    auto board = dummy("Adc0");
    board->setRegister<std::uint32_t>("Adc.Configuration.fpgaClockError", {s.clockError});
    board->setRegister<std::uint32_t>("Adc.Status.AttenuatorStatus.ERROR_COUNTERS", {s.attenuatorErrors});
    trigger(test, ++number);
    EXPECT_EQ(test.readScalar<std::int32_t>("/AdcBoard0/Configuration/fpgaClockStatus"), s.clockStatus) << number;
    EXPECT_EQ(test.readScalar<std::int32_t>("/AdcBoard0/Status/AttenuatorStatus/STATUS"), s.attenuatorStatus) << number;
  }
}

TEST(AdcBoardRoot, ForcedReinitialisationRerunsTheBoardsInitScript) {
  const std::vector<Board> boards{{0, 1}, {1, 1}};
  for(bool reserve : {true, false}) {
    SCOPED_TRACE(reserve);
    BoardsApp app(boards, reserve);
    TestFacility test(app);
    test.runApplication();
    EXPECT_EQ(initRuns("AdcBoard0"), 1);
    const auto outputs = test.updateCount("/AdcBoard0/initScriptOutput");

    test.writeScalar<std::int32_t>("/AdcBoard0/BoardInit/forceReinitialisation", 0);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Adc0/status"), 1);
    test.advanceTime(std::chrono::seconds(1));
    EXPECT_EQ(initRuns("AdcBoard0"), 2);
    EXPECT_EQ(initRuns("AdcBoard1"), 1);
    EXPECT_EQ(test.updateCount("/AdcBoard0/initScriptOutput"), outputs + 1);
    EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Adc0/status"), 0);
    EXPECT_EQ(dummy("Adc0")->getRegister<std::uint32_t>("Adc.BoardInit.bootStatus").at(0), 1u);

    // the board delivers its data again
    for(auto& board : boards) setPulse(board, 4);
    auto version = trigger(test, 4);
    expectPulse(test, 0, 0, 4, version);
  }
}

TEST(AdcBoardRoot, BoardThatFailsToOpenRecoversWhileTheOtherRuns) {
  const std::vector<Board> boards{{0, 2}, {1, 2}};
  BoardsApp app(boards);
  dummy("Adc1")->setOpenFails(true);
  TestFacility test(app);
  test.runApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Adc0/status"), 0);
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Adc1/status"), 1);
  EXPECT_EQ(initRuns("AdcBoard1"), 0);

  for(auto& board : boards) setPulse(board, 1);
  auto version = trigger(test, 1);
  for(std::uint32_t j = 0; j < 2; ++j) expectPulse(test, 0, j, 1, version);
  EXPECT_EQ(test.updateCount(channelPath(1, 0) + "amplitude"), 0u);

  dummy("Adc1")->setOpenFails(false);
  test.advanceTime(std::chrono::seconds(1));
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Adc1/status"), 0);
  EXPECT_EQ(initRuns("AdcBoard1"), 1);
  EXPECT_EQ(test.readScalar<std::string>("/AdcBoard1/initScriptOutput"), "initialised AdcBoard1\n");

  for(auto& board : boards) setPulse(board, 2);
  version = trigger(test, 2);
  for(auto& board : boards) {
    for(std::uint32_t j = 0; j < board.nChannels; ++j) expectPulse(test, board.number, j, 2, version);
  }
}

TEST(AdcBoardRoot, FilterWritesTakeOnlyTheirOwnBoardsLock) {
  BoardsApp app({{0, 2}, {1, 2}});
  TestFacility test(app);
  test.runApplication();
  adcboard::settle(test);
  auto board0 = dummy("Adc0");
  auto board1 = dummy("Adc1");
  board0->resetWriteCounts();
  board1->resetWriteCounts();
  test.writeScalar<std::int32_t>("/AdcBoard1/Channel1/Filter/type", 3); // block signal
  // the mutex polls the firmware's read-back every 10 us, for the lock and for the release
  for(int i = 0; i < 4; ++i) test.advanceTime(std::chrono::microseconds(10));
  EXPECT_EQ(board1->getWriteCount("Adc.Configuration.filterCoefficientsValid.state"), 2u); // lock and release
  EXPECT_GE(board1->getWriteCount("Adc.Channel1.Filter.coefficients"), 1u);
  EXPECT_EQ(board1->getWriteCount("Adc.Channel0.Filter.coefficients"), 0u);
  EXPECT_EQ(board0->getWriteCount(), 0u);
  EXPECT_EQ(board1->getRegister<std::uint32_t>("Adc.Configuration.filterCoefficientsValid.state").at(0), 1u);
}

TEST(AdcBoardRoot, ConfigurationErrorsStopConstruction) {
  struct Case {
    std::vector<Board> boards;
    std::string removedKey;
    std::vector<std::string> fragments;
  };
  // a count is refused before anything is built for it, naming key and file (and the register
  // that a channel beyond the map lacks)
  const std::string channels0 = "boards_base_config.xml:12: key \"Configuration/AdcBoard0/nChannels\" is ";
  for(auto& c : {Case{{{0, 0}}, "", {channels0 + "0"}},
          Case{{{0, 1}}, "nSinCosTableSize", {"Configuration/nSinCosTableSize"}},
          Case{{{0, 1}, {1, 1}}, "AdcBoard1", {"Configuration/AdcBoard1/nChannels"}},
          Case{{{0, 3, 2}}, "",
              {channels0 + "3, but the register map ",
                  "/boards_adc0.map of device Adc0 has no register /Adc/Channel2/daqErrorCounter"}},
          Case{{{0, 65, 1}}, "", {channels0 + "65, outside 0..64"}},
          Case{{{0, 10, std::nullopt, false}}, "",
              {channels0 + "10, but the register map ",
                  "has no register /NormalDataMode/PartialVectorSum/I (partial vector sum)"}}}) {
    SCOPED_TRACE(c.fragments.front());
    try {
      BoardsApp app(c.boards, true, c.removedKey);
      FAIL() << "constructed";
    }
    catch(Corvane::logic_error& e) {
      for(auto& fragment : c.fragments) EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
    }
  }
}

TEST(AdcBoardRoot, OnlyATenChannelBoardPublishesItsPartialVectorSum) {
  const std::vector<Board> boards{{0, 9}, {1, 10}, {2, 11}};
  BoardsApp app(boards);
  TestFacility test(app);
  test.setScalarDefault<double>("/Configuration/bitScaling", 1.0);
  test.setScalarDefault<std::uint8_t>("/Configuration/vectorSumBitShift", 1);
  test.setScalarDefault<double>("/Configuration/zeroPhaseThreshold", 1.0);
  test.setScalarDefault<double>("/Configuration/samplingFrequency", 1.0);
  test.setScalarDefault<std::uint32_t>("/Configuration/SamplingPosition/index", 3);
  test.setScalarDefault<std::uint32_t>("/Configuration/flattopBeginIndex", 0);
  test.setScalarDefault<std::uint32_t>("/Configuration/flattopEndIndex", pulseLength - 1);
  test.runApplication();
  for(auto& board : boards) setPulse(board, 1);
  auto ten = dummy("Adc1");
  ten->setRegister<std::int32_t>("NormalDataMode.PartialVectorSum.I", std::vector<std::int32_t>(pulseLength, 6));
  ten->setRegister<std::int32_t>("NormalDataMode.PartialVectorSum.Q", std::vector<std::int32_t>(pulseLength, 8));
  const auto version = trigger(test, 1);

  // amplitude 10 at a bit scaling halved by the firmware's bit shift
  const std::string sum = "/AdcBoard1/PartialVectorSum/";
  EXPECT_EQ(test.readArray<float>(sum + "amplitude"), std::vector<float>(pulseLength, 20.F));
  EXPECT_EQ(test.getVersion(sum + "amplitude"), version);
  EXPECT_EQ(test.readScalar<float>(sum + "Samples/amplitude"), 20.F);
  EXPECT_EQ(test.readScalar<float>(sum + "Samples/I"), 6.F);
  EXPECT_FLOAT_EQ(test.readScalar<float>(sum + "Samples/phase"), 53.130104F);
  EXPECT_EQ(test.readScalar<float>(sum + "Statistics/amplitudeAverage"), 20.F);
  EXPECT_EQ(app.getControlSystem().variable(sum + "I").description(), "Raw I values");
  for(const char* other : {"/AdcBoard0/PartialVectorSum/amplitude", "/AdcBoard2/PartialVectorSum/amplitude",
          "/AdcBoard2/PartialVectorSum/Samples/I"}) {
    EXPECT_FALSE(app.getControlSystem().has(other)) << other;
  }
}
