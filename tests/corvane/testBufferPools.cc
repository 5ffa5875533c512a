// The buffers of an array variable circulate instead of being allocated anew on every write: a
// destructive write hands the writer back a buffer that carried an earlier value of the same
// variable (a fresh allocation would be zeros), whoever reads it (modules that copy, modules that
// share received values, the control system alone). A value somebody holds is never handed back
// and so never overwritten, and a value the control system's client still holds when the
// application is gone stays valid until the client lets it go.
#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <optional>

using namespace Corvane;

// named, not anonymous: the test files of this executable are compiled together
namespace bufferpooltest {

  constexpr std::size_t poolLength = 64;

  std::vector<float> poolWave(int go) {
    std::vector<float> values(poolLength);
    for(std::size_t k = 0; k < poolLength; ++k) values[k] = float(go * 1000) + float(k);
    return values;
  }

  /// The pulse whose wave `values` is, or 0 when it is none (a buffer never written).
  int generationOf(const std::vector<float>& values) {
    if(values.size() != poolLength) return 0;
    const int go = int(values[0]) / 1000;
    return go > 0 && values == poolWave(go) ? go : 0;
  }

  /// Writes poolWave(go) destructively on every "/go" and publishes what the write handed back.
  struct Producer : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> go{this, "/go", "", ""};
    ArrayOutput<float> out{this, "/wave", "", poolLength, ""};
    ArrayOutput<float> returned{this, "/returned", "", poolLength, ""};
    void mainLoop() override {
      while(true) {
        auto values = poolWave(go);
        std::copy(values.begin(), values.end(), out.begin());
        out.writeDestructively();
        returned = out.value();
        returned.write();
        go.read();
      }
    }
  };

  /// Copies every pushed wave.
  struct PushUser : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ArrayPushInput<float> in{this, "/wave", "", poolLength, ""};
    ArrayOutput<float> seen{this, "/pushed", "", poolLength, ""};
    void mainLoop() override {
      while(true) {
        seen = in.value();
        seen.write();
        in.read();
      }
    }
  };

  /// On every "/tick": publishes the value it held since its last poll, then polls and publishes the new one.
  struct PollUser : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> tick{this, "/tick", "", ""};
    ArrayPollInput<float> in{this, "/wave", "", poolLength, ""};
    ArrayOutput<float> heldBefore{this, "/heldBefore", "", poolLength, ""};
    ArrayOutput<float> polled{this, "/polled", "", poolLength, ""};
    void mainLoop() override {
      while(true) {
        tick.read();
        heldBefore = in.value();
        heldBefore.write();
        in.read();
        polled = in.value();
        polled.write();
      }
    }
  };

  enum class Readers { controlSystemOnly, pushCopying, pushSharing, pollCopying, pollSharing };

  struct PoolApp : Application {
    explicit PoolApp(Readers readers) : Application("bufferpools") {
      const bool shares = readers == Readers::pushSharing || readers == Readers::pollSharing;
      if(readers == Readers::pushCopying || readers == Readers::pushSharing) {
        pushUser.emplace(this, "PushUser", "");
        if(shares) pushUser->in.shareReceivedValues();
      }
      if(readers == Readers::pollCopying || readers == Readers::pollSharing) {
        pollUser.emplace(this, "PollUser", "");
        if(shares) pollUser->in.shareReceivedValues();
      }
    }
    Producer producer{this, "Producer", ""};
    std::optional<PushUser> pushUser;
    std::optional<PollUser> pollUser;
  };

  // after this many writes every buffer of the circulation has carried a value
  constexpr int warmUp = 8;
  // a buffer comes back at most this many writes after it was written
  constexpr int maximumAge = 8;

  class BufferPools : public testing::TestWithParam<Readers> {};

  const char* nameOf(Readers readers) {
    switch(readers) {
      case Readers::controlSystemOnly: return "ControlSystemOnly";
      case Readers::pushCopying: return "PushCopying";
      case Readers::pushSharing: return "PushSharing";
      case Readers::pollCopying: return "PollCopying";
      case Readers::pollSharing: return "PollSharing";
    }
    return "";
  }
  void PrintTo(Readers readers, std::ostream* os) { *os << nameOf(readers); }

} // namespace bufferpooltest

using namespace bufferpooltest;

INSTANTIATE_TEST_SUITE_P(Readers, BufferPools,
    testing::Values(Readers::controlSystemOnly, Readers::pushCopying, Readers::pushSharing, Readers::pollCopying,
        Readers::pollSharing),
    [](const testing::TestParamInfo<Readers>& info) { return nameOf(info.param); });

TEST_P(BufferPools, AWriteGetsBackABufferOfAnEarlierValueAndHeldValuesStayUnchanged) {
  const auto readers = GetParam();
  const bool polls = readers == Readers::pollCopying || readers == Readers::pollSharing;
  const bool pushes = readers == Readers::pushCopying || readers == Readers::pushSharing;
  PoolApp app(readers);
  TestFacility test(app);
  test.setScalarDefault<int>("/go", 1);
  if(polls) test.setScalarDefault<int>("/tick", 0);
  test.runApplication();

  // a client of the control system keeps the first value throughout
  auto held = test.variable("/wave").latest<float>();
  ASSERT_TRUE(held);
  ASSERT_EQ(held->data, poolWave(1));
  int polledAt = 1;
  for(int go = 2; go <= 40; ++go) {
    test.writeScalar<int>("/go", go);
    test.stepApplication();
    ASSERT_EQ(test.readArray<float>("/wave"), poolWave(go));
    if(pushes) {
      ASSERT_EQ(test.readArray<float>("/pushed"), poolWave(go));
    }
    if(go > warmUp) {
      const int back = generationOf(test.readArray<float>("/returned"));
      EXPECT_LT(back, go) << "pulse " << go;
      EXPECT_GE(back, go - maximumAge) << "pulse " << go << ": the write got back a buffer that is not an earlier value";
    }
    if(polls && go % 5 == 0) {
      test.writeScalar<int>("/tick", go);
      test.stepApplication();
      // the poll input's value stayed what it read, however often the variable was written since
      EXPECT_EQ(test.readArray<float>("/heldBefore"), poolWave(polledAt)) << "pulse " << go;
      EXPECT_EQ(test.readArray<float>("/polled"), poolWave(go)) << "pulse " << go;
      polledAt = go;
    }
  }
  EXPECT_EQ(held->data, poolWave(1));
}

TEST(BufferPoolsAtShutdown, AValueHeldByAClientOutlivesTheApplicationAndIsFreedWhenLetGo) {
  std::shared_ptr<const ControlSystemValue<float>> held;
  std::weak_ptr<const ControlSystemValue<float>> watch;
  {
    PoolApp app(Readers::pushSharing);
    TestFacility test(app);
    test.setScalarDefault<int>("/go", 1);
    test.runApplication();
    for(int go = 2; go <= 12; ++go) {
      test.writeScalar<int>("/go", go);
      test.stepApplication();
      if(go == 5) held = test.variable("/wave").latest<float>();
    }
    watch = held;
    ASSERT_GT(generationOf(test.readArray<float>("/returned")), 0);
  } // shut down and destroyed: the pools go with it, but for the value the client holds
  ASSERT_TRUE(held);
  EXPECT_EQ(held->data, poolWave(5));
  held.reset();
  EXPECT_TRUE(watch.expired());
}
