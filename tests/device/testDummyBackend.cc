// The dummy backend's hooks: write events, write counts, the board's own accessors, and
// in-place reads.
#include "Corvane/DummyMultiplexedRegisterAccessor.h"
#include "Corvane/DummyRegisterAccessor.h"

#include "Corvane/SharedMemoryDummyBackend.h"

#include "DeviceFixture.h"
#include "TestFiles.h"

#include <functional>
#include <thread>

using CorvaneTest::DeviceFixture;
using Corvane::DummyBackend;

namespace {

  /// Whether another thread finds the mutex held (try_lock on a mutex this thread holds is undefined).
  bool heldElsewhere(std::mutex& mutex) {
    bool held = false;
    std::thread([&] {
      held = !mutex.try_lock();
      if(!held) mutex.unlock();
    }).join();
    return held;
  }

  // records client writes as a simulated board would react to them
  class RecordingBoard : public DummyBackend {
   public:
    using DummyBackend::DummyBackend;

    struct Event {
      std::uint8_t bar;
      std::uint64_t address;
      std::size_t nBytes;
      bool mutexHeld;
      std::int32_t stored;
    };
    std::vector<Event> events;

   protected:
    void regWriteEvents(std::uint8_t bar, std::uint64_t address, std::size_t nBytes) override {
      events.push_back({bar, address, nBytes, heldElsewhere(mutex()), *rawWords(bar, address, 1)});
    }
  };

  TEST_F(DeviceFixture, WriteEventsFollowTheStoredDataUnderTheLock) {
    auto board = std::make_shared<RecordingBoard>(mapFile);
    board->open();
    std::int32_t words[] = {5, 6};
    board->write(0, 0x10, words, 8);
    ASSERT_EQ(board->events.size(), 1u);
    EXPECT_EQ(board->events[0].bar, 0);
    EXPECT_EQ(board->events[0].address, 0x10u);
    EXPECT_EQ(board->events[0].nBytes, 8u);
    EXPECT_TRUE(board->events[0].mutexHeld);
    EXPECT_EQ(board->events[0].stored, 5);

    board->setRegister<int>("Table", {1}); // the board's own changes raise nothing
    Corvane::DummyRegisterAccessor<int>(*board, "Table").set(1, 9);
    EXPECT_EQ(board->events.size(), 1u);
  }

  TEST_F(DeviceFixture, WritesAreCountedPerRegisterIncludingOverlaps) {
    device.writeScalar<double>("Setting", 0.25);
    device.writeScalar<double>("Setting", 0.5);
    device.write<int>("Table", {1, 2}, 6);
    EXPECT_EQ(dummy->getWriteCount(), 3u);
    EXPECT_EQ(dummy->getWriteCount("Setting"), 2u);
    EXPECT_EQ(dummy->getWriteCount("Readback"), 2u); // same word
    EXPECT_EQ(dummy->getWriteCount("Table"), 1u);
    EXPECT_EQ(dummy->getWriteCount("Status"), 0u);
    EXPECT_EQ(dummy->getWriteCount("DaqArea"), 0u);  // other bar, same addresses
    dummy->resetWriteCounts();
    EXPECT_EQ(dummy->getWriteCount("Setting"), 0u);
    dummy->setWriteFails(true);
    EXPECT_THROW(device.writeScalar<double>("Setting", 0.5), Corvane::runtime_error);
    EXPECT_EQ(dummy->getWriteCount(), 0u); // a failed write is no write
  }

  TEST_F(DeviceFixture, BoardAccessorsConvertWithoutEvents) {
    Corvane::DummyRegisterAccessor<double> setting(*dummy, "Setting");
    setting = 0.75;
    EXPECT_EQ(device.readScalar<double>("Readback"), 0.75);
    device.writeScalar<double>("Setting", -0.5);
    EXPECT_EQ(static_cast<double>(setting), -0.5);

    Corvane::DummyRegisterAccessor<int> table(*dummy, "Table");
    table.setAll({1, 2, 3});
    EXPECT_EQ(device.read<int>("Table", 4), (std::vector<int>{1, 2, 3, 0}));
    EXPECT_EQ(table.size(), 8u);
    EXPECT_THROW(table.get(8), Corvane::logic_error);
    EXPECT_THROW(table.setAll(std::vector<int>(9)), Corvane::logic_error);
    EXPECT_EQ(dummy->getWriteCount(), 1u); // only the client write above
  }

  TEST_F(DeviceFixture, MultiplexedAccessorKeepsChannelsContiguous) {
    Corvane::DummyMultiplexedRegisterAccessor<int> daq(*dummy, "DaqArea");
    EXPECT_EQ(daq.getNumberOfChannels(), 2u);
    EXPECT_EQ(daq.getNumberOfSamples(), 4u);
    for(std::size_t s = 0; s < 4; ++s) daq.set(1, s, 100 + static_cast<int>(s));
    daq.set(0, 3, -7);
    EXPECT_EQ(device.read<int>("Daq.channel1"), (std::vector<int>{100, 101, 102, 103}));
    EXPECT_EQ(device.read<int>("DaqArea", 4), (std::vector<int>{0, 0, 0, -7}));
    EXPECT_EQ(daq.get(1, 2), 102);
    EXPECT_THROW(daq.set(2, 0, 1), Corvane::logic_error);
    EXPECT_THROW(daq.get(0, 4), Corvane::logic_error);
  }

  TEST_F(DeviceFixture, InPlaceReadsSeeWhatReadCopiesUnderTheLock) {
    dummy->setRegister<int>("DaqArea", {1, -2, 3, -4, 5, -6, 7, -8});
    dummy->setRegister<int>("Table", {9, 10, 11});
    struct Case {
      std::uint8_t bar;
      std::uint64_t address;
      std::size_t nBytes;
    };
    for(auto c : {Case{1, 0x00, 32}, Case{1, 0x14, 8}, Case{0, 0x10, 12}, Case{0, 0x3C, 0}}) {
      SCOPED_TRACE(std::to_string(c.bar) + "@" + std::to_string(c.address));
      std::vector<std::int32_t> copied(c.nBytes / 4);
      dummy->read(c.bar, c.address, copied.data(), c.nBytes);
      std::vector<std::int32_t> seen;
      bool locked = false;
      EXPECT_TRUE(dummy->readInPlace(c.bar, c.address, c.nBytes, [&](std::span<const std::int32_t> words) {
        seen.assign(words.begin(), words.end());
        locked = heldElsewhere(dummy->mutex());
      }));
      EXPECT_EQ(seen, copied);
      EXPECT_TRUE(locked);
    }
    EXPECT_FALSE(heldElsewhere(dummy->mutex()));
  }

  TEST_F(DeviceFixture, InPlaceReadsFailAsReadDoes) {
    auto unused = [](std::span<const std::int32_t>) { ADD_FAILURE() << "a failed read handed out words"; };
    EXPECT_THROW(dummy->readInPlace(0, 0x3C, 4, unused), Corvane::logic_error); // outside
    EXPECT_THROW(dummy->readInPlace(0, 0x02, 4, unused), Corvane::logic_error); // unaligned
    dummy->setReadFails(true);
    EXPECT_THROW(dummy->readInPlace(0, 0, 4, unused), Corvane::runtime_error);
    dummy->setReadFails(false);
    device.close();
    EXPECT_THROW(dummy->readInPlace(0, 0, 4, unused), Corvane::runtime_error);
    device.open();

    // what the reader throws passes through, and the device is free again
    auto throwing = [](std::span<const std::int32_t>) { throw std::runtime_error("reader failed"); };
    EXPECT_THROW(dummy->readInPlace(0, 0, 4, throwing), std::runtime_error);
    EXPECT_FALSE(heldElsewhere(dummy->mutex()));
  }

  TEST_F(DeviceFixture, SubclassesAreReadByCopyUnlessTheyAllowInPlaceReads) {
    // a subclass may intercept read(), which an in-place read would bypass
    RecordingBoard board(mapFile);
    board.open();
    bool used = false;
    EXPECT_FALSE(board.readInPlace(0, 0, 4, [&](std::span<const std::int32_t>) { used = true; }));
    EXPECT_FALSE(used);
  }

  TEST_F(DeviceFixture, RawAccessOutsideTheRegisterSpaceIsRefused) {
    std::int32_t word = 0;
    EXPECT_THROW(dummy->read(0, 0x3C, &word, 4), Corvane::logic_error); // bar 0 ends at 0x3C
    EXPECT_THROW(dummy->read(0, 0x2, &word, 4), Corvane::logic_error);  // unaligned
    EXPECT_THROW(dummy->read(7, 0, &word, 4), Corvane::logic_error);    // no such bar
    EXPECT_THROW(dummy->rawWords(1, 0x20, 1), Corvane::logic_error);
    EXPECT_THROW(dummy->setRegister<int>("Table", std::vector<int>(3), 6), Corvane::logic_error);
    dummy->read(0, 0x38, &word, 4);
  }

  // The space is allocated whole: one far address must not allocate gigabytes.
  TEST(DummyBackendSpace, ARegisterSpaceBeyondTheLimitIsRefusedNamingMapAndRegister) {
    CorvaneTest::TempDirectory dir;
    auto far = dir.write("far.map", "Near 1 0 4 0\nFar 4 0x80000000 16 0\nOther 1 0 4 1\n");
    auto near = dir.write("near.map", "Near 1 0 4 0\nEdge 1 0x3fffffc 4 0\n"); // exactly 64 MiB
    EXPECT_NO_THROW(DummyBackend backend(near));
    const auto instance = "far" + std::to_string(::getpid());
    for(auto make : {std::function<void()>([&] { DummyBackend backend(far); }),
            std::function<void()>([&] { Corvane::SharedMemoryDummyBackend backend(instance, far); })}) {
      try {
        make();
        ADD_FAILURE() << "allocated";
      }
      catch(const Corvane::logic_error& e) {
        const auto expected = "dummy device (" + far + "): the registers span 2147483668 bytes, more than the 64 MiB "
                              "a dummy device holds (furthest: register /Far at " + far + ":2)";
        EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
      }
    }
  }

} // namespace
