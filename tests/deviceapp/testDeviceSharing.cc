// One device reached by several device modules and two aliases: one fault, one recovery;
// write failures; interrupt registers that push.
#include "DeviceFixture.h"

#include <Corvane/Corvane.h>
#include <Corvane/DeviceModule.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

using namespace Corvane;
using deviceapp::dummy;

namespace {

  std::string writeSharedFiles() {
    std::ofstream("shared.map") << R"(Area.a           1  0  4  0  32  0  1  RW
Area.b           1  4  4  0  32  0  1  RW
Irq.count        1  8  4  0  32  0  1  INTERRUPT:3
)";
    std::ofstream("shared.dmap") << "First (writeRecordingDummy:7?map=shared.map)\n"
                                    "Second (writeRecordingDummy:7?map=shared.map)\n";
    return "shared.dmap";
  }

  struct Writers : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> request{this, "/request", "", ""};
    ScalarOutput<std::int32_t> a{this, "/First/Area/a", "", ""};
    ScalarOutput<std::int32_t> b{this, "/Second/Area/b", "", ""};
    void mainLoop() override {
      while(true) {
        request.read();
        b.setAndWrite(request + 100); // b first: the rewrite after recovery keeps this order
        a.setAndWrite(request);
      }
    }
  };

  struct Counter : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<std::int32_t> irq{this, "/First/Irq/count", "", ""};
    ScalarOutput<int> seen{this, "/irqSeen", "", ""};
    void mainLoop() override {
      while(true) {
        irq.read();
        seen.setAndWrite(irq);
      }
    }
  };

  struct SharedApp : Application {
    SharedApp() : Application("shared") {}
    SetDMapFilePath dmap{writeSharedFiles()};
    ModuleGroup firstGroup{this, "First", ""};
    ModuleGroup secondGroup{this, "Second", ""};
    DeviceModule first{&firstGroup, "First"};
    DeviceModule second{&secondGroup, "Second"};
    Writers writers{this, "Writers", ""};
    Counter counter{this, "Counter", ""};
  };

} // namespace

TEST(DeviceSharing, TwoAliasesOfOneDescriptorShareFaultAndRecovery) {
  SharedApp app;
  TestFacility test(app);
  test.runApplication();
  auto board = dummy("First");
  ASSERT_EQ(board, dummy("Second")); // one backend object for one descriptor

  board->setWriteFails(true);
  test.writeScalar<int>("/request", 1);
  test.stepApplication();
  // one device, one manager: only one status exists, and it shows the fault
  EXPECT_TRUE(app.getControlSystem().has("/Devices/First/status"));
  EXPECT_FALSE(app.getControlSystem().has("/Devices/Second/status"));
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/First/status"), 1);

  board->setWriteFails(false);
  auto recording = deviceapp::recordingDummy("First");
  ASSERT_TRUE(recording);
  recording->takeWrittenRegisters();
  test.advanceTime(std::chrono::seconds(1));
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/First/status"), 0);
  EXPECT_EQ(board->getRegister<std::int32_t>("Area.a"), std::vector<std::int32_t>{1});
  EXPECT_EQ(board->getRegister<std::int32_t>("Area.b"), std::vector<std::int32_t>{101});
  // each register once, nothing lost, in the order of the first writes (b before a)
  EXPECT_EQ(recording->takeWrittenRegisters(), (std::vector<std::string>{"/Area/b", "/Area/a"}));
}

TEST(DeviceSharing, InterruptRegistersPush) {
  SharedApp app;
  TestFacility test(app);
  test.runApplication();
  auto board = dummy("First");
  board->setRegister<std::int32_t>("Irq.count", {42});
  board->triggerInterrupt(3);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<int>("/irqSeen"), 42);
}
