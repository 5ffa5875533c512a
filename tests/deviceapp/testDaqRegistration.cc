// Registers of a device module recorded by the MicroDAQ under a name prefix.
#include "DeviceFixture.h"

#include <Corvane/Corvane.h>
#include <Corvane/DeviceModule.h>
#include <Corvane/MicroDAQ.h>
#include <gtest/gtest.h>

using namespace Corvane;

namespace {
  struct DaqApp : Application {
    DaqApp() : Application("daqregistration") {
      daq = MicroDAQ<std::int64_t>(this, "MicroDAQ", "Local ringbuffer DAQ system", "DAQ", "/trigger");
    }
    SetDMapFilePath dmap{deviceapp::writeBoardFiles("daqregistration")};
    DeviceModule board{this, "Board", "/trigger"};
    MicroDAQ<std::int64_t> daq;
  };
} // namespace

TEST(DaqRegistration, ReadableRegistersOfTheSubtreeAreRecordedUnderThePrefix) {
  DaqApp app;
  app.daq.addDeviceModule(app.board, "AdcBoard0", "Board");
  auto paths = app.daq.recordedPaths();
  std::sort(paths.begin(), paths.end());
  // the write-only "command" and the registers outside the sub-tree are left out
  EXPECT_EQ(paths, (std::vector<std::string>{"/Board/daq", "/Board/daq0", "/Board/gain", "/Board/setting",
                       "/Board/status"}));
  EXPECT_NO_THROW(app.initialise());
}
