// Device modules of one device on one trigger share one reader: every trigger reads the
// registers of all of them in one transfer, so the board is read once per pulse and all values
// show the same moment. A module on another trigger keeps its own reader.
#include "DeviceFixture.h"

#include <Corvane/Corvane.h>
#include <Corvane/DeviceModule.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <atomic>

using namespace Corvane;

namespace {

  /// A dummy board that counts the reads reaching it.
  class ReadCountingDummy : public DummyBackend {
   public:
    using DummyBackend::DummyBackend;
    static std::shared_ptr<DeviceBackend> createInstance(
        const std::string&, const std::map<std::string, std::string>& parameters) {
      return std::make_shared<ReadCountingDummy>(convertPathRelativeToDmapToAbs(parameters.at("map")));
    }
    void read(std::uint8_t bar, std::uint64_t address, std::int32_t* data, std::size_t nBytes) override {
      reads.fetch_add(1);
      DummyBackend::read(bar, address, data, nBytes);
    }
    std::atomic<int> reads{0};
  };

  BackendRegisterer readCountingRegisterer("readCountingDummy", &ReadCountingDummy::createInstance, {"map"});

  std::string writeFiles() {
    std::ofstream("counted.map") << R"(A.x  1  0  4  0  32  0  1  RO
B.y  1  4  4  0  32  0  1  RO
)";
    std::ofstream("counted.dmap") << "Board (readCountingDummy:1?map=counted.map)\n";
    return "counted.dmap";
  }

  struct TwoModulesApp : Application {
    explicit TwoModulesApp(const std::string& secondTrigger) : Application("twomodules"), second(this, "Board", secondTrigger, {}, "/B") {}
    SetDMapFilePath dmap{writeFiles()};
    DeviceModule first{this, "Board", "/trigger", {}, "/A"};
    DeviceModule second;
  };

  std::shared_ptr<ReadCountingDummy> board() {
    return std::dynamic_pointer_cast<ReadCountingDummy>(BackendFactory::getInstance().findBackend("Board"));
  }

} // namespace

TEST(SharedTriggerReader, ModulesOnOneTriggerAreReadInOneTransfer) {
  TwoModulesApp app("/trigger");
  TestFacility test(app);
  test.runApplication();
  auto counted = board();
  ASSERT_TRUE(counted);
  for(std::int32_t pulse = 1; pulse <= 3; ++pulse) {
    counted->setRegister<std::int32_t>("A.x", {pulse});
    counted->setRegister<std::int32_t>("B.y", {-pulse});
    int before = counted->reads.load();
    VersionNumber version;
    test.writeScalar<std::int64_t>("/trigger", pulse, version);
    test.stepApplication();
    EXPECT_EQ(counted->reads.load() - before, 1) << "pulse " << pulse;
    EXPECT_EQ(test.readScalar<std::int32_t>("/x"), pulse);
    EXPECT_EQ(test.readScalar<std::int32_t>("/y"), -pulse);
    EXPECT_EQ(test.getVersion("/x"), version);
    EXPECT_EQ(test.getVersion("/y"), version);
  }
}

TEST(SharedTriggerReader, AModuleOnAnotherTriggerKeepsItsOwnReader) {
  TwoModulesApp app("/otherTrigger");
  TestFacility test(app);
  test.runApplication();
  auto counted = board();
  ASSERT_TRUE(counted);
  counted->setRegister<std::int32_t>("A.x", {5});
  counted->setRegister<std::int32_t>("B.y", {6});
  VersionNumber version;
  test.writeScalar<std::int64_t>("/otherTrigger", 1, version);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>("/y"), 6);
  EXPECT_EQ(test.getVersion("/y"), version);
  EXPECT_NE(test.getVersion("/x"), version); // "/A" waits for its own trigger
  VersionNumber later;
  test.writeScalar<std::int64_t>("/trigger", 1, later);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>("/x"), 5);
  EXPECT_EQ(test.getVersion("/x"), later);
}
