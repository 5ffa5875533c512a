// Registers that are bit fields of a word ("ADDRESS:BIT" in the register map): the map syntax
// and its errors, reads that see only the field, writes that keep the word's other bits (also
// when several threads write fields of one word), and the board's own accessors.
#include "Corvane/DummyRegisterAccessor.h"
#include "Corvane/RegisterMap.h"
#include "Corvane/TransferGroup.h"

#include "DeviceFixture.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

using Corvane::RegisterMap;

namespace {

  RegisterMap parse(const std::string& text) {
    std::istringstream stream(text);
    return RegisterMap::parse(stream, "fields.map");
  }

  // name        elements address  bytes bar width frac signed
  const char* fieldMap = R"(
Word            1    0x00     4   0   32   0   0
Select.I        1    0x00:0   4   0   1    0   0
Select.Q        1    0x00:1   4   0   1    0   0
Nibble          1    0x00:4   4   0   4    0   1
Fraction        1    0x00:8   4   0   8    4   1
Top             1    0x00:31  4   0   1    0   0
Words           4    0x10     16  0   32   0   0
Fields          4    0x10:8   16  0   2    0   0
)";

  TEST(BitFieldMap, TheAddressTakesABitOffset) {
    auto map = parse(fieldMap);
    const auto& nibble = map.getRegister("Nibble");
    EXPECT_TRUE(nibble.isBitField);
    EXPECT_EQ(nibble.address, 0u);
    EXPECT_EQ(nibble.bitOffset, 4u);
    EXPECT_EQ(nibble.bitMask(), 0xF0u);
    EXPECT_EQ(map.getRegister("Top").bitMask(), 0x80000000u);
    const auto& word = map.getRegister("Word");
    EXPECT_FALSE(word.isBitField);
    EXPECT_EQ(word.bitMask(), 0xFFFFFFFFu);
    // a field from bit 0 with the default width is a bit field of the whole word
    auto whole = parse("Whole 1 0x4:0 4 0\n").getRegister("Whole");
    EXPECT_TRUE(whole.isBitField);
    EXPECT_EQ(whole.bitMask(), 0xFFFFFFFFu);
  }

  TEST(BitFieldMap, FieldsOutsideTheWordOrWithoutFixedPointAreRefused) {
    struct Case {
      const char* line;
      const char* message;
    };
    const Case cases[] = {
        {"F 1 0x4:1 4 0", "32 bits from bit 1 reach beyond the 32-bit word"},
        {"F 1 0x4:30 4 0 3", "3 bits from bit 30 reach beyond the 32-bit word"},
        {"F 1 0x4:32 4 0 1", "must be a decimal number 0..31"},
        {"F 1 0x4:0x1 4 0 1", "must be a decimal number 0..31"},
        {"F 1 0x4: 4 0 1", "must be a decimal number 0..31"},
        {"F 1 0x4:0 4 0 32 IEEE754", "must be fixed point"},
        {"F 1 0x4:0 4 0 0", "must be fixed point"},
        {"F 1 0x6:0 4 0 1", "is not a multiple of 4"},
    };
    for(const auto& c : cases) {
      try {
        parse(c.line);
        ADD_FAILURE() << c.line << " was accepted";
      }
      catch(const Corvane::logic_error& e) {
        std::string what = e.what();
        EXPECT_EQ(what.rfind("fields.map:1: ", 0), 0u) << what;
        EXPECT_NE(what.find(c.message), std::string::npos) << c.line << ": " << what;
      }
    }
  }

  class BitFieldDevice : public ::testing::Test {
   protected:
    CorvaneTest::TempDirectory dir;
    std::string mapFile = dir.write("fields.map", fieldMap);
    CorvaneTest::ScopedDMapFilePath scopedDMap{dir.write("test.dmap", "Board (dummy:fields?map=fields.map)\n")};
    Corvane::Device device{"Board"};

    void SetUp() override { device.open(); }
    std::uint32_t word() const { return device.readScalar<std::uint32_t>("Word"); }
  };

  TEST_F(BitFieldDevice, WritesChangeOnlyTheirBits) {
    device.write<std::uint32_t>("Word", {0xA5A5A5A4u});
    struct Step {
      const char* field;
      double value;
      std::uint32_t word;
    };
    const Step steps[] = {
        {"Select.I", 1, 0xA5A5A5A5u},
        {"Select.Q", 1, 0xA5A5A5A7u},
        {"Select.I", 0, 0xA5A5A5A6u},
        {"Nibble", -3, 0xA5A5A5D6u},
        {"Nibble", 9, 0xA5A5A576u},   // saturates at 7
        {"Fraction", -1.5, 0xA5A5E876u}, // -24 in 8 bits with 4 fractional bits
        {"Top", 0, 0x25A5E876u},
    };
    for(const auto& s : steps) {
      device.write<double>(s.field, {s.value});
      EXPECT_EQ(word(), s.word) << "after writing " << s.value << " to " << s.field;
    }
  }

  TEST_F(BitFieldDevice, ReadsSeeOnlyTheirBits) {
    device.write<std::uint32_t>("Word", {0x8000E8D6u});
    EXPECT_EQ(device.readScalar<int>("Select.I"), 0);
    EXPECT_EQ(device.readScalar<int>("Select.Q"), 1);
    EXPECT_EQ(device.readScalar<int>("Nibble"), -3);
    EXPECT_EQ(device.readScalar<double>("Fraction"), -1.5);
    EXPECT_EQ(device.readScalar<int>("Top"), 1);
    // array fields: each element is the field of its own word, through the whole-array conversions
    device.write<std::uint32_t>("Words", {0x000u, 0x100u, 0x2FFu, 0xFFFFFFFFu});
    EXPECT_EQ(device.read<std::int32_t>("Fields"), (std::vector<std::int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(device.read<double>("Fields"), (std::vector<double>{0, 1, 2, 3}));
    device.write<std::int32_t>("Fields", {3, 0, 1, 2});
    EXPECT_EQ(device.read<std::uint32_t>("Words"), (std::vector<std::uint32_t>{0x300u, 0x000u, 0x1FFu, 0xFFFFFEFFu}));
  }

  TEST_F(BitFieldDevice, FieldsSharingAWordReadInOneTransfer) {
    device.write<std::uint32_t>("Word", {0x000000D2u});
    Corvane::TransferGroup group;
    auto i = device.getRegisterAccessor<int>("Select.I");
    auto q = device.getRegisterAccessor<int>("Select.Q");
    auto nibble = device.getRegisterAccessor<int>("Nibble");
    for(auto& accessor : {i, q, nibble}) group.add(accessor);
    EXPECT_EQ(group.getNumberOfTransfers(), 1u);
    group.read();
    EXPECT_EQ((*i)[0], 0);
    EXPECT_EQ((*q)[0], 1);
    EXPECT_EQ((*nibble)[0], -3);
  }

  TEST_F(BitFieldDevice, FieldWritesAreClientWritesOfTheDummy) {
    auto dummy = std::dynamic_pointer_cast<Corvane::DummyBackend>(device.getBackend());
    ASSERT_TRUE(dummy);
    dummy->resetWriteCounts();
    device.write<int>("Select.Q", {1});
    EXPECT_EQ(dummy->getWriteCount("Word"), 1u);
    // the board's own view and its test hook keep the other bits too
    dummy->setRegister<int>("Nibble", {5});
    Corvane::DummyRegisterAccessor<int> selectI(*dummy, "Select.I");
    selectI = 1;
    EXPECT_EQ(word(), 0x53u);
    EXPECT_EQ(dummy->getRegister<int>("Nibble"), (std::vector<int>{5}));
    EXPECT_EQ(int(selectI), 1);
  }

  /// A device whose words are plain memory and that has no read-modify-write of its own: its
  /// fields are written by the backends' common read-modify-write.
  class PlainMemoryBackend : public Corvane::DeviceBackend {
   public:
    explicit PlainMemoryBackend(std::shared_ptr<const RegisterMap> map)
    : DeviceBackend(std::move(map)), _words(getRegisterMap().barSizes().at(0) / 4) {}
    void open() override {}
    void close() override {}
    bool isOpen() const override { return true; }
    void read(std::uint8_t, std::uint64_t address, std::int32_t* data, std::size_t nBytes) override {
      std::lock_guard lock(_mutex);
      std::copy_n(_words.begin() + address / 4, nBytes / 4, data);
    }
    void write(std::uint8_t, std::uint64_t address, const std::int32_t* data, std::size_t nBytes) override {
      std::lock_guard lock(_mutex);
      std::copy_n(data, nBytes / 4, _words.begin() + address / 4);
    }
    std::string readDeviceInfo() override { return "plain memory"; }

   private:
    std::mutex _mutex;
    std::vector<std::int32_t> _words;
  };

  /// Eight threads each flip their own bit of one word many times, ending with 1: no write of
  /// one field may undo another's.
  void concurrentFieldWrites(const std::shared_ptr<Corvane::DeviceBackend>& backend) {
    std::vector<std::thread> threads;
    for(int bit = 0; bit < 8; ++bit) {
      threads.emplace_back([&backend, bit] {
        const auto& info = backend->getRegisterMap().getRegister("Bit" + std::to_string(bit));
        for(int round = 0; round < 20001; ++round) {
          std::int32_t raw = info.converter().toRaw<int>(round % 2 == 0 ? 1 : 0);
          backend->writeBits(info.bar, info.address, &raw, 4, info.bitMask());
        }
      });
    }
    for(auto& thread : threads) thread.join();
    std::int32_t word = 0;
    backend->read(0, 0, &word, 4);
    EXPECT_EQ(word, 0xFF);
  }

  std::shared_ptr<const RegisterMap> eightBitMap() {
    std::ostringstream text;
    for(int bit = 0; bit < 8; ++bit) text << "Bit" << bit << " 1 0x0:" << bit << " 4 0 1 0 0\n";
    std::istringstream stream(text.str());
    return std::make_shared<const RegisterMap>(RegisterMap::parse(stream, "bits.map"));
  }

  TEST(BitFieldConcurrency, FieldsOfOneWordWrittenFromManyThreadsAllArrive) {
    auto dummy = std::make_shared<Corvane::DummyBackend>(eightBitMap());
    dummy->open();
    concurrentFieldWrites(dummy);
    concurrentFieldWrites(std::make_shared<PlainMemoryBackend>(eightBitMap()));
  }

} // namespace
