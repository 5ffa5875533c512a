// One write of an array reaches the control system and the poll inputs of its type as one shared
// snapshot, and so do push inputs that share received values: every reader sees the value of its
// read, a snapshot somebody holds never changes while the writer goes on, and a reader that changes
// its own buffer (a shared value is copied first) changes nobody else's value.
#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

using namespace Corvane;

namespace {

  constexpr std::size_t length = 4;

  std::vector<float> wave(int go) {
    std::vector<float> values(length);
    for(std::size_t k = 0; k < length; ++k) values[k] = float(go * 10) + float(k);
    return values;
  }

  /// Writes wave(go) destructively on every "/go".
  struct Producer : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> go{this, "/go", "", ""};
    ArrayOutput<float> out{this, "/wave", "", length, ""};
    ScalarOutput<std::uint32_t> bufferLength{this, "/producerBufferLength", "", ""};
    void mainLoop() override {
      while(true) {
        auto values = wave(go);
        std::copy(values.begin(), values.end(), out.begin());
        out.writeDestructively();
        bufferLength.setAndWrite(std::uint32_t(out.size()));
        go.read();
      }
    }
  };

  /// On every "/tick": polls the wave, publishes what it read, then scribbles over its own buffer.
  struct PollUser : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> tick{this, "/tick", "", ""};
    ArrayPollInput<float> in{this, "/wave", "", length, ""};
    ArrayOutput<float> seen{this, "/polled", "", length, ""};
    void mainLoop() override {
      while(true) {
        seen = in.value();
        seen.write();
        std::fill(in.begin(), in.end(), -1.F);
        tick.read();
        in.read();
      }
    }
  };

  /// Copies every pushed wave.
  struct PushUser : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ArrayPushInput<float> in{this, "/wave", "", length, ""};
    ArrayOutput<float> seen{this, "/pushed", "", length, ""};
    void mainLoop() override {
      while(true) {
        seen = in.value();
        std::fill(in.begin(), in.end(), -2.F);
        seen.write();
        in.read();
      }
    }
  };

  struct SnapshotApp : Application {
    explicit SnapshotApp(bool readersShare) : Application("snapshots") {
      if(readersShare) {
        pollUser.in.shareReceivedValues();
        pushUser.in.shareReceivedValues();
      }
    }
    Producer producer{this, "Producer", ""};
    PollUser pollUser{this, "PollUser", ""};
    PushUser pushUser{this, "PushUser", ""};
  };

  class SharedSnapshots : public testing::TestWithParam<bool> {};

} // namespace

INSTANTIATE_TEST_SUITE_P(Readers, SharedSnapshots, testing::Values(false, true),
    [](const testing::TestParamInfo<bool>& info) { return info.param ? "SharingReceivedValues" : "Copying"; });

TEST_P(SharedSnapshots, EveryReaderSeesItsValueAndHeldSnapshotsStayUnchanged) {
  SnapshotApp app(GetParam());
  TestFacility test(app);
  test.setScalarDefault<int>("/go", 1);
  test.setScalarDefault<int>("/tick", 0);
  test.runApplication();
  EXPECT_EQ(test.readArray<float>("/wave"), wave(1));
  EXPECT_EQ(test.readArray<float>("/polled"), wave(1));
  EXPECT_EQ(test.readArray<float>("/pushed"), wave(1));

  // a client keeps the value it read while the writer goes on for longer than any reuse of buffers
  auto held = test.variable("/wave").latest<float>();
  ASSERT_TRUE(held);
  for(int go = 2; go <= 30; ++go) {
    test.writeScalar<int>("/go", go);
    test.stepApplication();
    EXPECT_EQ(test.readArray<float>("/pushed"), wave(go));
    if(go % 7 == 0) {
      test.writeScalar<int>("/tick", go);
      test.stepApplication();
      EXPECT_EQ(test.readArray<float>("/polled"), wave(go));
    }
  }
  EXPECT_EQ(held->data, wave(1));
  // the readers scribbled over their own buffers only
  EXPECT_EQ(test.readArray<float>("/wave"), wave(30));
  EXPECT_EQ(test.readScalar<std::uint32_t>("/producerBufferLength"), length);
  test.writeScalar<int>("/tick", 31);
  test.stepApplication();
  EXPECT_EQ(test.readArray<float>("/polled"), wave(30));
}
