// Reading several registers in one go: merged transfers, each in place when the backend can, and
// all-or-nothing updates.
#include "Corvane/BackendRegisterer.h"
#include "Corvane/DMapRelativePath.h"
#include "Corvane/TransferGroup.h"

#include "DeviceFixture.h"

#include <optional>
#include <tuple>

namespace {

  // a dummy that records the transfers it serves, reads in place unless told not to, and fails
  // the transfer at one address when told to
  class ScriptedBoard : public Corvane::DummyBackend {
   public:
    using DummyBackend::DummyBackend;

    struct Transfer {
      std::uint8_t bar;
      std::uint64_t address;
      bool inPlace;
      bool operator==(const Transfer&) const = default;
    };
    std::vector<Transfer> transfers;
    bool inPlace{true};
    std::optional<std::pair<std::uint8_t, std::uint64_t>> failing; // bar, address

    void read(std::uint8_t bar, std::uint64_t address, std::int32_t* data, std::size_t nBytes) override {
      serve(bar, address, false);
      DummyBackend::read(bar, address, data, nBytes);
    }

    bool readInPlace(std::uint8_t bar, std::uint64_t address, std::size_t nBytes, const WordsUser& use) override {
      if(!inPlace) return false;
      serve(bar, address, true);
      return DummyBackend::readInPlace(bar, address, nBytes, use);
    }

   protected:
    bool readsInPlace() const override { return true; }

   private:
    void serve(std::uint8_t bar, std::uint64_t address, bool inPlace) {
      transfers.push_back({bar, address, inPlace});
      if(failing == std::pair(bar, address)) throw Corvane::runtime_error("simulated failure of one transfer");
    }
  };

  Corvane::BackendRegisterer scriptedRegisterer("scriptedDummy",
      [](const std::string&, const std::map<std::string, std::string>& parameters) {
        return std::make_shared<ScriptedBoard>(Corvane::convertPathRelativeToDmapToAbs(parameters.at("map")));
      },
      {"map"});

  class TransferGroupTest : public CorvaneTest::DeviceFixture {
   protected:
    Corvane::Device scripted{"(scriptedDummy?map=" + mapFile + ")"};
    std::shared_ptr<ScriptedBoard> board = std::dynamic_pointer_cast<ScriptedBoard>(scripted.getBackend());

    // three blocks, in the order they are read:
    //   bar 0 0x00..0x08: Status, Readback
    //   bar 0 0x18..0x34: Table[2..4] and Table[4..7] overlapping, Float touching them
    //   bar 1 0x00..0x20: DaqArea and its channel 1
    std::shared_ptr<Corvane::RegisterAccessor<int>> status = scripted.getRegisterAccessor<int>("Status");
    std::shared_ptr<Corvane::RegisterAccessor<double>> readback = scripted.getRegisterAccessor<double>("Readback");
    std::shared_ptr<Corvane::RegisterAccessor<int>> tableLow = scripted.getRegisterAccessor<int>("Table", 3, 2);
    std::shared_ptr<Corvane::RegisterAccessor<int>> tableHigh = scripted.getRegisterAccessor<int>("Table", 4, 4);
    std::shared_ptr<Corvane::RegisterAccessor<double>> floating = scripted.getRegisterAccessor<double>("Float");
    std::shared_ptr<Corvane::RegisterAccessor<int>> area = scripted.getRegisterAccessor<int>("DaqArea");
    std::shared_ptr<Corvane::RegisterAccessor<int>> channel = scripted.getRegisterAccessor<int>("Daq.channel1");
    Corvane::TransferGroup group;

    void SetUp() override {
      DeviceFixture::SetUp();
      ASSERT_TRUE(board);
      scripted.open();
      // added out of order: the group sorts them
      for(std::shared_ptr<Corvane::TransferElement> element : std::initializer_list<std::shared_ptr<Corvane::TransferElement>>{
              channel, floating, status, area, tableHigh, readback, tableLow}) {
        group.add(element);
      }
    }

    /// Board contents that differ in every register for every `generation`.
    void fillBoard(int generation) {
      board->setRegister<int>("Status", {generation});
      board->setRegister<double>("Setting", {0.125 * generation});
      std::vector<int> table(8);
      for(int i = 0; i < 8; ++i) table[i] = 10 * generation + i;
      board->setRegister<int>("Table", table);
      board->setRegister<double>("Float", {generation + 0.5});
      std::vector<int> daq(8);
      for(int i = 0; i < 8; ++i) daq[i] = 100 * generation + i;
      board->setRegister<int>("DaqArea", daq);
    }

    /// Every accessor holds what fillBoard(generation) put on the board.
    void expectValues(int generation) {
      int g = generation;
      EXPECT_EQ(status->value(), std::vector<int>{g});
      EXPECT_EQ(readback->value(), std::vector<double>{0.125 * g});
      EXPECT_EQ(tableLow->value(), (std::vector<int>{10 * g + 2, 10 * g + 3, 10 * g + 4}));
      EXPECT_EQ(tableHigh->value(), (std::vector<int>{10 * g + 4, 10 * g + 5, 10 * g + 6, 10 * g + 7}));
      EXPECT_EQ(floating->value(), std::vector<double>{g + 0.5});
      EXPECT_EQ(area->value(), (std::vector<int>{100 * g, 100 * g + 1, 100 * g + 2, 100 * g + 3, 100 * g + 4,
                                   100 * g + 5, 100 * g + 6, 100 * g + 7}));
      EXPECT_EQ(channel->value(), (std::vector<int>{100 * g + 4, 100 * g + 5, 100 * g + 6, 100 * g + 7}));
    }
  };

  TEST_F(TransferGroupTest, BlocksAreReadInOrderEachInPlaceWhenTheBackendCan) {
    using T = ScriptedBoard::Transfer;
    struct Case {
      bool inPlace;
      std::vector<T> transfers;
    };
    for(const auto& c : {
            Case{true, {T{0, 0x00, true}, T{0, 0x18, true}, T{1, 0x00, true}}},
            Case{false, {T{0, 0x00, false}, T{0, 0x18, false}, T{1, 0x00, false}}},
        }) {
      SCOPED_TRACE(c.inPlace ? "in place" : "copied");
      board->inPlace = c.inPlace;
      EXPECT_EQ(group.getNumberOfTransfers(), 3u);
      // more reads than value buffers per register: a staged buffer taken for one read serves later ones
      for(int generation : {1, 2, 3}) {
        fillBoard(generation);
        board->transfers.clear();
        group.read();
        EXPECT_EQ(board->transfers, c.transfers);
        expectValues(generation);
      }
    }
  }

  TEST_F(TransferGroupTest, AFailureInAnyBlockChangesNoValue) {
    struct Case {
      std::uint8_t bar;
      std::uint64_t address;
      const char* firstRegister; // named by the error
      bool inPlace;
    };
    for(const auto& c : {
            Case{0, 0x00, "Status", true},
            Case{0, 0x18, "Table", true},
            Case{1, 0x00, "DaqArea", true},
            Case{0, 0x18, "Table", false},
            Case{1, 0x00, "DaqArea", false},
        }) {
      SCOPED_TRACE(std::string(c.firstRegister) + (c.inPlace ? " in place" : " copied"));
      board->inPlace = c.inPlace;
      board->failing.reset();
      fillBoard(1);
      group.read();

      fillBoard(2);
      board->failing = std::pair(c.bar, c.address);
      try {
        group.read();
        ADD_FAILURE() << "read succeeded";
      }
      catch(const Corvane::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(c.firstRegister), std::string::npos) << e.what();
      }
      expectValues(1);

      board->failing.reset();
      group.read();
      expectValues(2);
    }
  }

  TEST_F(TransferGroupTest, AFaultyDummyChangesNoValue) {
    dummy->setRegister<int>("Status", {1});
    dummy->setRegister<int>("DaqArea", {1, 1, 1, 1, 1, 1, 1, 1});
    auto first = device.getRegisterAccessor<int>("Status");
    auto last = device.getRegisterAccessor<int>("DaqArea");
    Corvane::TransferGroup plain;
    plain.add(first);
    plain.add(last);
    plain.read();

    dummy->setRegister<int>("Status", {2});
    dummy->setRegister<int>("DaqArea", {2, 2, 2, 2, 2, 2, 2, 2});
    dummy->setReadFails(true);
    EXPECT_THROW(plain.read(), Corvane::runtime_error);
    EXPECT_EQ(first->value(), std::vector<int>{1});
    EXPECT_EQ(last->value(), std::vector<int>(8, 1));
    device.close();
    dummy->setReadFails(false);
    EXPECT_THROW(plain.read(), Corvane::runtime_error);
    EXPECT_EQ(last->value(), std::vector<int>(8, 1));
    device.open();
    plain.read();
    EXPECT_EQ(first->value(), std::vector<int>{2});
    EXPECT_EQ(last->value(), std::vector<int>(8, 2));
  }

  TEST_F(TransferGroupTest, RegistersOfSeveralDevicesAreReadFromEach) {
    dummy->setRegister<int>("Status", {3});
    board->setRegister<int>("Status", {4});
    Corvane::TransferGroup both;
    auto first = device.getRegisterAccessor<int>("Status");
    auto second = scripted.getRegisterAccessor<int>("Status");
    both.add(first);
    both.add(second);
    EXPECT_EQ(both.getNumberOfTransfers(), 2u);
    both.read();
    EXPECT_EQ(first->value(), std::vector<int>{3});
    EXPECT_EQ(second->value(), std::vector<int>{4});
  }

  TEST_F(TransferGroupTest, WriteOnlyRegistersCannotJoin) {
    Corvane::TransferGroup other;
    EXPECT_THROW(other.add(scripted.getRegisterAccessor<int>("Command")), Corvane::logic_error);
  }

} // namespace
