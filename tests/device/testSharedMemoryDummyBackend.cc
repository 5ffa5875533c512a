// The shared-memory dummy seen from two processes, and the life of its segment.
#include "Corvane/Device.h"
#include "Corvane/SharedMemoryDummyBackend.h"

#include "ChildProcess.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

using Corvane::SharedMemoryDummyBackend;
using Corvane::SharedMemorySegment;

namespace {

  class SharedMemoryDummyTest : public ::testing::Test {
   protected:
    CorvaneTest::TempDirectory dir;
    std::string mapFile = dir.write("board.map", "Status 1 0 4 0 32 0 0 RO\nTable 4 4 16 0 18 17 1 RW\nOther 4096 0 16384 3\n");
    // unique per test process, so parallel test runs do not meet
    std::string instance = "test" + std::to_string(::getpid());
    std::string name = SharedMemoryDummyBackend::segmentName(instance, mapFile);

    void TearDown() override { SharedMemoryDummyBackend::removeSegment(instance, mapFile); }

    std::string descriptor() const { return "(sharedMemoryDummy:" + instance + "?map=" + mapFile + ")"; }
  };

  TEST_F(SharedMemoryDummyTest, AnotherProcessSeesAndChangesTheRegisters) {
    Corvane::Device device(descriptor());
    device.open();
    device.write<double>("Table", {0.5, -0.25});

    // the other process acts as the board: checks what the server wrote, answers in a register
    int code = CorvaneTest::runInChild([&] {
      SharedMemoryDummyBackend board(instance, mapFile);
      if(board.getRegister<double>("Table") != std::vector<double>{0.5, -0.25, 0, 0}) return 1;
      if(board.getUserCount() != 2) return 2;
      board.setRegister<int>("Status", {1234});
      return 0;
    });
    ASSERT_EQ(code, 0);
    EXPECT_EQ(device.readScalar<int>("Status"), 1234);
    EXPECT_EQ(std::dynamic_pointer_cast<SharedMemoryDummyBackend>(device.getBackend())->getUserCount(), 1u);
  }

  TEST_F(SharedMemoryDummyTest, AnotherProcessNeverSeesHalfWrittenRegisters) {
    Corvane::Device device(descriptor());
    device.open();
    // the child writes whole arrays of one value while this process reads (in place, under
    // the segment's lock); the arrays are long, so that an unguarded read would be caught halfway
    CorvaneTest::ChildProcess writer([&] {
      SharedMemoryDummyBackend board(instance, mapFile);
      std::vector<int> values(4096);
      for(int i = 1; i <= 1000; ++i) {
        std::fill(values.begin(), values.end(), i);
        board.setRegister<int>("Other", values);
      }
      return 0;
    });
    int torn = 0;
    for(int i = 0; i < 100000 && !(i % 10 == 0 && writer.hasEnded()); ++i) {
      auto values = device.read<int>("Other");
      if(std::adjacent_find(values.begin(), values.end(), std::not_equal_to<>()) != values.end()) ++torn;
    }
    EXPECT_EQ(writer.wait(), 0);
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(device.read<int>("Other"), std::vector<int>(4096, 1000));
  }

  TEST_F(SharedMemoryDummyTest, InPlaceReadsSeeWhatReadCopies) {
    Corvane::Device device(descriptor());
    device.open();
    device.write<double>("Table", {0.5, -0.25, 0.125});
    device.write<int>("Other", {7, 8, 9}, 4093);
    auto& backend = *device.getBackend();
    struct Case {
      std::uint8_t bar;
      std::uint64_t address;
      std::size_t nBytes;
    };
    for(auto c : {Case{0, 0, 20}, Case{0, 8, 8}, Case{3, 16372, 12}, Case{3, 0, 16384}}) {
      SCOPED_TRACE(std::to_string(c.bar) + "@" + std::to_string(c.address));
      std::vector<std::int32_t> copied(c.nBytes / 4);
      backend.read(c.bar, c.address, copied.data(), c.nBytes);
      std::vector<std::int32_t> seen;
      EXPECT_TRUE(backend.readInPlace(c.bar, c.address, c.nBytes,
          [&](std::span<const std::int32_t> words) { seen.assign(words.begin(), words.end()); }));
      EXPECT_EQ(seen, copied);
    }
    device.close();
    EXPECT_THROW(backend.readInPlace(0, 0, 4, [](std::span<const std::int32_t>) {}), Corvane::runtime_error);
  }

  TEST_F(SharedMemoryDummyTest, BarsDoNotOverlapInTheSegment) {
    Corvane::Device device(descriptor());
    device.open();
    device.write<int>("Other", {7, 8});  // bar 3, addresses 0 and 4 like Status and Table[0]
    EXPECT_EQ(device.readScalar<int>("Status"), 0);
    EXPECT_EQ(device.read<int>("Other", 2), (std::vector<int>{7, 8}));
  }

  TEST_F(SharedMemoryDummyTest, TheLastUserRemovesTheSegment) {
    {
      auto first = std::make_unique<SharedMemoryDummyBackend>(instance, mapFile);
      auto second = std::make_unique<SharedMemoryDummyBackend>(instance, mapFile);
      EXPECT_EQ(first->getUserCount(), 2u);
      EXPECT_EQ(first->getSegmentName(), name);
      second.reset();
      EXPECT_EQ(first->getUserCount(), 1u);
      EXPECT_TRUE(SharedMemorySegment::exists(name));
    }
    EXPECT_FALSE(SharedMemorySegment::exists(name));
  }

  TEST_F(SharedMemoryDummyTest, ValuesSurviveCloseAndOpen) {
    Corvane::Device device(descriptor());
    device.open();
    device.write<double>("Table", {0.125});
    device.close();
    device.open();
    EXPECT_EQ(device.readScalar<double>("Table"), 0.125);
  }

  TEST_F(SharedMemoryDummyTest, ACrashedUserIsCleanedUpOnRequest) {
    {
      SharedMemoryDummyBackend survivor(instance, mapFile);
      int code = CorvaneTest::runInChild([&] {
        // attach and vanish without detaching, as a crash would
        SharedMemoryDummyBackend attached(instance, mapFile);
        ::_exit(0);
        return 1;
      });
      ASSERT_EQ(code, 0);
      EXPECT_EQ(survivor.getUserCount(), 2u);
    }
    EXPECT_TRUE(SharedMemorySegment::exists(name)); // the crashed user still counts
    SharedMemoryDummyBackend::removeSegment(instance, mapFile);
    EXPECT_FALSE(SharedMemorySegment::exists(name));
    SharedMemoryDummyBackend fresh(instance, mapFile);
    EXPECT_EQ(fresh.getUserCount(), 1u);
  }

  TEST_F(SharedMemoryDummyTest, AnOrphanDoesNotRemoveItsSuccessor) {
    auto orphan = std::make_unique<SharedMemoryDummyBackend>(instance, mapFile);
    SharedMemoryDummyBackend::removeSegment(instance, mapFile);
    SharedMemoryDummyBackend successor(instance, mapFile);
    orphan->setRegister<int>("Status", {5});
    EXPECT_EQ(successor.getRegister<int>("Status"), std::vector<int>{0}); // separate memory now
    orphan.reset();
    EXPECT_TRUE(SharedMemorySegment::exists(name));
  }

  TEST_F(SharedMemoryDummyTest, AMapOfAnotherSizeIsRefused) {
    SharedMemoryDummyBackend first(instance, mapFile);
    dir.write("board.map", "Status 1 0 4 0\nTable 64 4 256 0\n");
    try {
      SharedMemoryDummyBackend second(instance, mapFile);
      ADD_FAILURE() << "attached";
    }
    catch(const Corvane::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
    }
    EXPECT_EQ(first.getUserCount(), 1u);
  }

  TEST_F(SharedMemoryDummyTest, SegmentNamesTellInstancesAndMapsApart) {
    auto other = dir.write("other.map", "X 1 0 4 0\n");
    EXPECT_NE(SharedMemoryDummyBackend::segmentName("a", mapFile), SharedMemoryDummyBackend::segmentName("b", mapFile));
    EXPECT_NE(SharedMemoryDummyBackend::segmentName("a", mapFile), SharedMemoryDummyBackend::segmentName("a", other));
    auto odd = SharedMemoryDummyBackend::segmentName("ctrl/board 1", mapFile);
    EXPECT_EQ(odd.find('/', 1), std::string::npos) << odd;
    EXPECT_EQ(odd.find(' '), std::string::npos) << odd;
  }

} // namespace
