// Reading several registers in one go: merged transfers and all-or-nothing updates.
#include "Corvane/BackendRegisterer.h"
#include "Corvane/TransferGroup.h"

#include "DeviceFixture.h"

namespace {

  // a dummy that counts the backend reads it serves
  class CountingBoard : public Corvane::DummyBackend {
   public:
    using DummyBackend::DummyBackend;
    void read(std::uint8_t bar, std::uint64_t address, std::int32_t* data, std::size_t nBytes) override {
      ++reads;
      DummyBackend::read(bar, address, data, nBytes);
    }
    std::size_t reads{0};
  };

  Corvane::BackendRegisterer countingRegisterer("countingDummy",
      [](const std::string&, const std::map<std::string, std::string>& parameters) {
        return std::make_shared<CountingBoard>(Corvane::DummyBackend::convertPathRelativeToDmapToAbs(parameters.at("map")));
      },
      {"map"});

  class TransferGroupTest : public CorvaneTest::DeviceFixture {
   protected:
    Corvane::Device counted{"(countingDummy?map=" + mapFile + ")"};
    std::shared_ptr<CountingBoard> board = std::dynamic_pointer_cast<CountingBoard>(counted.getBackend());

    void SetUp() override {
      DeviceFixture::SetUp();
      ASSERT_TRUE(board);
      counted.open();
    }
  };

  TEST_F(TransferGroupTest, OverlappingAndAdjacentRegistersShareOneRead) {
    board->setRegister<int>("DaqArea", {0, 1, 2, 3, 10, 11, 12, 13});
    board->setRegister<int>("Status", {5});
    board->setRegister<double>("Setting", {0.5});
    board->setRegister<float>("Float", {2.5f});

    auto area = counted.getRegisterAccessor<int>("DaqArea");
    auto channel = counted.getRegisterAccessor<int>("Daq.channel1");
    auto status = counted.getRegisterAccessor<int>("Status");
    auto readback = counted.getRegisterAccessor<double>("Readback");
    auto floating = counted.getRegisterAccessor<double>("Float");
    Corvane::TransferGroup group;
    for(std::shared_ptr<Corvane::TransferElement> element :
        std::initializer_list<std::shared_ptr<Corvane::TransferElement>>{area, channel, status, readback, floating}) {
      group.add(element);
    }
    // bar 1: area and channel overlap; bar 0: Status and Readback touch, Float lies apart
    EXPECT_EQ(group.getNumberOfTransfers(), 3u);
    board->reads = 0;
    group.read();
    EXPECT_EQ(board->reads, 3u);
    EXPECT_EQ(area->value(), (std::vector<int>{0, 1, 2, 3, 10, 11, 12, 13}));
    EXPECT_EQ(channel->value(), (std::vector<int>{10, 11, 12, 13}));
    EXPECT_EQ(status->value(), std::vector<int>{5});
    EXPECT_EQ(readback->value(), std::vector<double>{0.5});
    EXPECT_EQ(floating->value(), std::vector<double>{2.5});
  }

  TEST_F(TransferGroupTest, AFailedReadChangesNoValue) {
    board->setRegister<int>("Status", {1});
    board->setRegister<int>("DaqArea", {1, 1, 1, 1, 1, 1, 1, 1});
    auto status = counted.getRegisterAccessor<int>("Status");
    auto area = counted.getRegisterAccessor<int>("DaqArea");
    Corvane::TransferGroup group;
    group.add(status);
    group.add(area);
    group.read();

    board->setRegister<int>("Status", {2});
    board->setRegister<int>("DaqArea", {2, 2, 2, 2, 2, 2, 2, 2});
    board->setReadFails(true);
    EXPECT_THROW(group.read(), Corvane::runtime_error);
    EXPECT_EQ(status->value(), std::vector<int>{1});
    EXPECT_EQ(area->value(), std::vector<int>(8, 1));
  }

  TEST_F(TransferGroupTest, RegistersOfSeveralDevicesAreReadFromEach) {
    dummy->setRegister<int>("Status", {3});
    board->setRegister<int>("Status", {4});
    Corvane::TransferGroup group;
    auto first = device.getRegisterAccessor<int>("Status");
    auto second = counted.getRegisterAccessor<int>("Status");
    group.add(first);
    group.add(second);
    EXPECT_EQ(group.getNumberOfTransfers(), 2u);
    group.read();
    EXPECT_EQ(first->value(), std::vector<int>{3});
    EXPECT_EQ(second->value(), std::vector<int>{4});
  }

  TEST_F(TransferGroupTest, WriteOnlyRegistersCannotJoin) {
    Corvane::TransferGroup group;
    EXPECT_THROW(group.add(counted.getRegisterAccessor<int>("Command")), Corvane::logic_error);
  }

} // namespace
