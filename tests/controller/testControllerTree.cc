// The controller tree for each kind of station: a master has the whole controller group, the firmware table
// mutex with its table writers as clients, and the board's health; slaves and monitoring-only
// stations keep only the board's health (device, initialisation, clock monitor, SEU detection, forced
// re-initialisation).
#include "ControllerStation.h"

#include <gtest/gtest.h>

#include <set>

using namespace controllertest;

namespace {

  /// Variables that only the controller group declares (module variables, no board registers).
  const std::vector<std::string> controllerGroupVariables = {feedForwardRotation + "/scale",
      feedForwardRotation + "/rotation", outputCalibration + "/scale", outputCalibration + "/rotation",
      "/Controller/Configuration/tableBufferMode/confirmationStatus", "/Controller/Status/overall",
      "/Controller/VectorSum/Calibration/scale", "/Controller/Output/Calibration/scale",
      "/Controller/SetPoint/DAQ/amplitude", "/Controller/Output/Total/DAQ/Samples/phase",
      "/Controller/FeedBack/Gain/DAQ/Statistics/IAverage", "/Controller/AmplitudePhaseError/fault",
      "/Controller/FeedForward/enable", "/Controller/FeedBack/enable", "/Controller/FeedBack/maximumOutput",
      "/Controller/FeedBack/MimoCoefficients/apply", "/Controller/FeedBack/SmithCoefficients/Actual/B22_2",
      "/Controller/Status/inhibitAlgos", "/Controller/Status/bbfLimiterStatus"};

  /// The client groups below the mutex, by their "inhibit".
  std::set<std::string> mutexClients(Station& station) {
    const std::string mutexPath = "/Controller/Configuration/tableBufferMode/";
    std::set<std::string> clients;
    for(const auto& [path, variable] : station.app.getControlSystem().variables()) {
      if(path.rfind(mutexPath, 0) == 0 && path.size() > 8 && path.substr(path.size() - 8) == "/inhibit")
        clients.insert(path.substr(mutexPath.size(), path.size() - mutexPath.size() - 8));
    }
    return clients;
  }

  /// The board's health answers: the clock monitor follows the clock-error flag on each trigger, and the
  /// forced re-initialisation module has announced the booted firmware.
  void expectBoardHealth(Station& station) {
    EXPECT_TRUE(station.test.readScalar<Corvane::Boolean>("/Controller/BoardInit/bootStatus"));
    for(std::int32_t flag : {1, 0}) {
      station.board->setRegister<std::int32_t>("ToControlSystem/Controller/Board/fpgaClockError", {flag});
      station.test.writeScalar<std::int64_t>("/Server/triggerNumber", flag + 10);
      station.test.stepApplication();
      EXPECT_EQ(station.test.readScalar<std::int32_t>("/Controller/Board/fpgaClockStatus"),
          flag ? Corvane::StatusOutput::FAULT : Corvane::StatusOutput::OK);
    }
    EXPECT_TRUE(station.has("/Controller/FirmwareSEUDetection/crcErrors"));
    EXPECT_EQ(station.test.readScalar<std::string>("/initScriptOutput"), "initialised CtrlBoard\n");
  }

  TEST(ControllerTree, AMasterRunsTheControllerGroupWithItsTableWritersAsMutexClients) {
    Station station(1);
    for(const auto& path : controllerGroupVariables) EXPECT_TRUE(station.has(path)) << path;
    // the mutex found the table writers built before it (the table generation, the gain table, the feed-forward
    // table and the two rotation tables), and nothing else
    auto& controller = station.app.controller.controller;
    const std::string mutexName = "/Controller/Configuration/tableBufferMode";
    std::set<std::string> expected;
    const std::initializer_list<Corvane::VariableGroup*> writers{&controller.tableGeneration, &controller.gainTable,
        &controller.feedForwardTable, &controller.feedForwardRotationTable, &controller.output.calibrationTable};
    for(auto* writer : writers) {
      expected.insert(MultiClientFirmwareMutex::ClientInterface::generateUniqueName(writer, mutexName)
                          .substr(mutexName.size() + 1));
    }
    EXPECT_EQ(mutexClients(station), expected);
    // every table went to the board at start, under the lock, which is free again; each write selected the other
    // buffer (the gain table wrote twice: the table generation put the flat-top duration 0 back to its fallback)
    const std::pair<std::string, std::uint64_t> tables[] = {{feedForwardRotation, 1}, {outputCalibration, 1},
        {"/Controller/FeedBack/Gain/Table", 2}, {"/Controller/FeedForward/TableTotal", 1}};
    for(const auto& [table, writes] : tables) {
      EXPECT_EQ(station.board->getWriteCount(registersOf(table) + "/I"), writes) << table;
      EXPECT_EQ(station.board->getRegister<std::int32_t>(registersOf(table) + "/bufferSelectI").at(0), writes % 2)
          << table;
    }
    EXPECT_EQ(station.board->getRegister<std::int32_t>(
                  "ToControlSystem/Controller/Configuration/tableBufferMode/state").at(0), 1);
    EXPECT_EQ(station.test.readScalar<std::int32_t>("/Controller/Configuration/tableBufferMode/confirmationStatus"),
        Corvane::StatusOutput::OK);
    // the slave readiness of a master
    station.test.writeScalar<std::int32_t>("/Controller/slaveLlrfReady", 3);
    station.test.stepApplication();
    EXPECT_EQ(station.test.readScalar<std::int32_t>("/Controller/slaveLlrfReadyStatus"), 3);
    expectBoardHealth(station);
  }

  TEST(ControllerTree, SlavesAndMonitoringOnlyStationsKeepOnlyTheBoardsHealth) {
    for(std::int32_t instanceType : {2, 4}) {
      SCOPED_TRACE("instance type " + std::to_string(instanceType));
      Station station(instanceType);
      for(const auto& path : controllerGroupVariables) EXPECT_FALSE(station.has(path)) << path;
      EXPECT_TRUE(mutexClients(station).empty());
      EXPECT_FALSE(station.has("/Controller/slaveLlrfReadyStatus"));
      // no table and no lock request reached the board
      EXPECT_EQ(station.board->getWriteCount("ToControlSystem/Controller/Configuration/tableBufferMode/state"), 0u);
      EXPECT_EQ(station.board->getWriteCount(registersOf(feedForwardRotation) + "/I"), 0u);
      expectBoardHealth(station);
    }
  }

  TEST(ControllerTree, AMasterStartsWithBothControllersOffAndItsModulesMeetTheBoard) {
    Station station(1);
    const std::string board = "ToControlSystem/Controller/";
    for(const std::string controller : {"FeedForward", "FeedBack"}) {
      EXPECT_FALSE(station.test.readScalar<Corvane::Boolean>("/Controller/" + controller + "/enable")) << controller;
      EXPECT_GE(station.board->getWriteCount(board + controller + "/enable_actual"), 1u) << controller;
      EXPECT_EQ(station.board->getRegister<std::int32_t>(board + controller + "/enable_actual").at(0), 0);
    }
    // the restored coefficient sets went to the board, framed by "valid"
    for(const std::string set : {"MimoCoefficients", "SmithCoefficients"}) {
      EXPECT_EQ(station.board->getRegister<std::int32_t>(board + "FeedBack/" + set + "/valid").at(0), 1) << set;
    }
    station.test.writeScalar<std::int32_t>("/Controller/FeedBack/maximumOutput", -7);
    // the total output's raw trace, I = 3 and Q = 4 everywhere, read on the next trigger
    station.test.writeScalar<double>("/Configuration/bitScaling", 1.0);
    station.board->setRegister<std::int32_t>(board + "Output/Total/DAQ/I", std::vector<std::int32_t>(pulseLength, 3));
    station.board->setRegister<std::int32_t>(board + "Output/Total/DAQ/Q", std::vector<std::int32_t>(pulseLength, 4));
    station.test.writeScalar<std::int64_t>("/Server/triggerNumber", 1);
    station.test.stepApplication();
    EXPECT_EQ(station.board->getRegister<std::int32_t>(board + "FeedBack/limitI").at(0), -7);
    EXPECT_EQ(station.board->getRegister<std::int32_t>(board + "FeedBack/limitQ").at(0), -7);
    auto amplitude = station.test.readArray<float>("/Controller/Output/Total/DAQ/amplitude");
    ASSERT_EQ(amplitude.size(), pulseLength);
    EXPECT_FLOAT_EQ(amplitude.back(), 5.F);
    EXPECT_NEAR(station.test.readScalar<float>("/Controller/Output/Total/DAQ/Samples/phase"), 53.1301F, 1e-4F);
  }

  TEST(ControllerTree, TheErrorChannelComputesAmplitudeAndPhaseOnlyWithTheAutomation) {
    for(std::int32_t enableAutomation : {0, 1, -3}) {
      Station station(1, enableAutomation);
      const auto& controller = station.app.controller.controller;
      EXPECT_EQ(controller.error.daq.computeAmplitudePhase, enableAutomation != 0) << enableAutomation;
      EXPECT_FALSE(controller.error.daq.applyBitShift);
      // the other channels do not depend on it
      EXPECT_TRUE(controller.setPoint.daq.computeAmplitudePhase && controller.setPoint.daq.applyBitShift);
      EXPECT_TRUE(controller.vectorSum.daq.computeAmplitudePhase && controller.vectorSum.daq.applyBitShift);
      EXPECT_TRUE(controller.output.total.daq.computeAmplitudePhase && !controller.output.total.daq.applyBitShift);
      for(const auto* channel : {&controller.feedForward.daq, &controller.feedBack.gain.daq,
              &controller.output.proportional.daq}) {
        EXPECT_FALSE(channel->computeAmplitudePhase || channel->applyBitShift) << channel->getName();
      }
    }
  }

} // namespace
