// A dummy board for Device and TransferGroup tests: a register map with every kind of
// register, a dmap naming it, and the dummy backend behind the alias "Board".
#pragma once

#include "Corvane/Device.h"
#include "Corvane/DummyBackend.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

namespace CorvaneTest {

  inline const char* deviceTestMap = R"(# name        elements address bytes bar width frac signed access
Status          1    0x00   4   0   32   0       0   RO
Setting         1    0x04   4   0   18   17      1   RW
Readback        1    0x04   4   0   18   17      1   RO    # read-back on the address of Setting
Command         1    0x08   4   0   32   0       1   WO
Table           8    0x10  32   0   16   0       1   RW
Float           1    0x30   4   0   32   IEEE754 1   RW
Strobe          1    0x34   4   0   0    0       0   WO
TriggerData     1    0x38   4   0   32   0       0   INTERRUPT:2
Trigger         0    0x00   0   0   0    0       0   INTERRUPT:2
DaqArea         2x4  0x00  32   1   16   0       1   RO
Daq.channel1    4    0x10  16   1   16   0       1   RO    # channel 1 of DaqArea
)";

  class DeviceFixture : public ::testing::Test {
   protected:
    TempDirectory dir;
    std::string mapFile = dir.write("board.map", deviceTestMap);
    std::string dmapFile = dir.write("test.dmap", "Board (dummy:board?map=board.map)\n");
    ScopedDMapFilePath scopedDMap{dmapFile};
    Corvane::Device device{"Board"};
    std::shared_ptr<Corvane::DummyBackend> dummy = std::dynamic_pointer_cast<Corvane::DummyBackend>(device.getBackend());

    void SetUp() override {
      ASSERT_TRUE(dummy);
      device.open();
    }
  };

} // namespace CorvaneTest
