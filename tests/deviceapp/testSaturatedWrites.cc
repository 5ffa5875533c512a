// Values that a fixed-point register cannot hold: the write saturates, a warning names register
// and value once per episode, and the control system (and a writer with read-back) shows what
// the register holds.
#include "DeviceFixture.h"

#include <Corvane/Corvane.h>
#include <Corvane/DeviceModule.h>
#include <Corvane/LogCapture.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

using namespace Corvane;
using deviceapp::countContaining;
using deviceapp::dummy;

namespace {

  // 18 bits, 16 of them fractional, signed: the registers hold -2 .. 1.99998474
  std::string writeCalibrationFiles() {
    std::ofstream("calibration.map") << R"(Cal.scale    1  0  4  0  18  16  1  WO
Cal.offset   1  4  4  0  18  16  1  RW
Cal.trim     1  8  4  0  18  16  1  RW
)";
    std::ofstream("calibration.dmap") << "Cal (dummy:3?map=calibration.map)\n";
    return "calibration.dmap";
  }

  constexpr double largestScale = 131071. / 65536.; // (2^17 - 1) * 2^-16

  /// "offset" from a plain output, "trim" from an output with read-back; the write-only "scale"
  /// is an operator setting.
  struct Calibrator : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<double> request{this, "/request", "", ""};
    ScalarOutput<double> offset{this, "/Cal/offset", "", ""};
    ScalarOutputPushRB<double> trim{this, "/Cal/trim", "", ""};
    ScalarOutput<double> trimSeen{this, "/trimSeen", "", "the trim as the module sees it"};
    void mainLoop() override {
      auto group = readAnyGroup();
      while(true) {
        auto id = group.readAny();
        if(id == request.getId()) {
          offset.setAndWrite(request);
          trim.setAndWrite(request);
        }
        trimSeen.setAndWrite(trim);
      }
    }
  };

  struct CalibrationApp : Application {
    CalibrationApp() : Application("calibration") {}
    SetDMapFilePath dmap{writeCalibrationFiles()};
    DeviceModule board{this, "Cal"};
    Calibrator calibrator{this, "Calibrator", ""};
  };

} // namespace

TEST(SaturatedWrites, ControlSystemAndWriterSeeWhatTheRegisterHolds) {
  CalibrationApp app;
  TestFacility test(app);
  test.runApplication();
  auto board = dummy("Cal");
  test.writeScalar<double>("/Cal/scale", 1e9);
  test.writeScalar<double>("/request", 1e9);
  test.stepApplication();
  for(std::string name : {"scale", "offset", "trim"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(board->getRegister<double>("Cal." + name), std::vector<double>{largestScale});
    EXPECT_EQ(test.readScalar<double>("/Cal/" + name), largestScale);
    EXPECT_EQ(test.getValidity("/Cal/" + name), DataValidity::ok);
  }
  EXPECT_EQ(test.readScalar<double>("/trimSeen"), largestScale); // the writer's read-back

  // a value that fits is shown as written
  test.writeScalar<double>("/Cal/scale", -1.5);
  test.writeScalar<double>("/request", 0.25);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<double>("/Cal/scale"), -1.5);
  EXPECT_EQ(test.readScalar<double>("/Cal/offset"), 0.25);
  EXPECT_EQ(test.readScalar<double>("/trimSeen"), 0.25);
}

TEST(SaturatedWrites, OneWarningPerEpisodeNamesRegisterAndValue) {
  LogCapture log("Device Cal");
  CalibrationApp app;
  TestFacility test(app);
  test.runApplication();
  // one episode: 1e9, 2e9, -inf; the value 1 ends it; 3e9 starts the next
  for(double value : {1e9, 2e9, -std::numeric_limits<double>::infinity(), 1., 3e9}) {
    test.writeScalar<double>("/Cal/scale", value);
    test.stepApplication();
  }
  auto texts = log.textsFrom("Device Cal");
  EXPECT_EQ(countContaining(texts, "/Cal/scale"), 2u) << ::testing::PrintToString(texts);
  EXPECT_EQ(countContaining(texts, "1e+09"), 1u) << ::testing::PrintToString(texts);
  EXPECT_EQ(countContaining(texts, "3e+09"), 1u) << ::testing::PrintToString(texts);
  EXPECT_EQ(countContaining(log.warningsContaining("/Cal/scale"), "1.9999847"), 2u) << ::testing::PrintToString(texts);
}
