// The ADC boards of the simulated station (config/sim): its device map, register maps,
// configuration and initialisation script carry everything the board groups read.
#include "BoardFixture.h"

#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <filesystem>

using namespace Corvane;

namespace {

  struct SimulatedBoards : Application {
    SimulatedBoards() : Application("tessarel") {
      const auto nBoards = config.get<std::uint32_t>("Configuration/nAdcBoards");
      boards.reserve(nBoards);
      for(std::uint32_t b = 0; b < nBoards; ++b) {
        boards.emplace_back(this, "AdcBoard" + std::to_string(b), "Signal monitoring on ADC board " + std::to_string(b));
      }
    }

    SetDMapFilePath dmap{TESSAREL_SIM_DIR "/tessarel.dmap"};
    ConfigReader config{this, ".", TESSAREL_SIM_DIR "/tessarel_base_config.xml"};
    std::vector<AdcBoardRoot> boards;
  };

} // namespace

TEST(SimulatedStation, BoardsStartAndDeliverTheirChannels) {
  // the script runs in the working directory, as the server runs in the station directory
  std::filesystem::copy_file(TESSAREL_SIM_DIR "/initHardware.py", "initHardware.py",
      std::filesystem::copy_options::overwrite_existing);
  SimulatedBoards app;
  ASSERT_FALSE(app.boards.empty());
  TestFacility test(app);
  test.runApplication();
  const auto pulseLength = app.config.get<std::uint32_t>("Configuration/pulseLength");
  VersionNumber version;
  test.writeScalar<std::int64_t>("/Server/triggerNumber", 1, version);
  test.stepApplication();
  for(std::size_t b = 0; b < app.boards.size(); ++b) {
    const auto board = "/AdcBoard" + std::to_string(b);
    EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Adc" + std::to_string(b) + "/status"), 0);
    EXPECT_NE(test.readScalar<std::string>(board + "/initScriptOutput").find("AdcBoard" + std::to_string(b)),
        std::string::npos);
    for(std::size_t j = 0; j < app.boards[b].adcBoard.channels.size(); ++j) {
      const auto channel = board + "/Channel" + std::to_string(j) + "/";
      EXPECT_EQ(test.readArray<float>(channel + "amplitude").size(), pulseLength);
      EXPECT_EQ(test.getVersion(channel + "amplitude"), version) << channel;
    }
    EXPECT_EQ(test.readScalar<std::uint32_t>(board + "/FirmwareSEUDetection/unrecoverableErrorDetected"), 0u);
    EXPECT_EQ(test.readScalar<std::int32_t>(board + "/Configuration/fpgaClockStatus"), 0);
  }
}
