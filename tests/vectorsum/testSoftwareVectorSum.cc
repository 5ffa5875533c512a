// The software vector sum inside an application: its variables, the sum of the flagged channels
// against an independent computation, the include flags, waiting for every channel, and the
// configuration it needs.
#include "SoftwareVectorSum.h"
#include "StationConfig.h"

#include <Corvane/ConfigReader.h>
#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <optional>
#include <random>

using namespace Corvane;
using vectorsum::channelPath;
using vectorsum::StationConfig;

namespace {

  const std::string iPath = "/ForwardVectorSum/I", qPath = "/ForwardVectorSum/Q";

  struct VectorSumApp : Application {
    explicit VectorSumApp(const StationConfig& station)
    : Application(station.name()), config(this, ".", station.write()),
      sum(this, "ForwardVectorSum", "Vector sum of all forward cavity signals used for the output vector correction.",
          "isForwardSignal") {}
    ConfigReader config;
    SoftwareVectorSum sum;
  };

  /// One channel's arrays for one pulse.
  struct Signal {
    std::vector<float> amplitude, phase;
  };

  /// Writes every channel's arrays (board-major) and steps; returns nothing.
  void sendPulse(TestFacility& test, const std::vector<std::vector<Signal>>& signals) {
    for(std::size_t b = 0; b < signals.size(); ++b) {
      for(std::size_t c = 0; c < signals[b].size(); ++c) {
        test.writeArray(channelPath(b, c, "amplitude"), signals[b][c].amplitude);
        test.writeArray(channelPath(b, c, "phase"), signals[b][c].phase);
      }
    }
    test.stepApplication();
  }

  /// The same signal on every sample of every channel of the given shape.
  std::vector<std::vector<Signal>> constantSignals(
      const std::vector<std::uint32_t>& shape, std::size_t length, float amplitude, float phase) {
    std::vector<std::vector<Signal>> signals;
    for(auto nChannels : shape) {
      signals.emplace_back(nChannels, Signal{std::vector<float>(length, amplitude), std::vector<float>(length, phase)});
    }
    return signals;
  }

  TEST(SoftwareVectorSum, PublishesIAndQAndDeclaresEachChannelsInputsAtItsPath) {
    StationConfig station("vsVariables", {2, 1}, 24);
    VectorSumApp app(station);
    TestFacility test(app);
    test.runApplication();
    auto& cs = app.getControlSystem();
    for(auto [path, description] : {std::pair{iPath, "I component of computed vector sum"},
            std::pair{qPath, "Q component of computed vector sum"}}) {
      auto& v = cs.variable(path);
      EXPECT_EQ(v.type(), DataType::float32) << path;
      EXPECT_EQ(v.nElements(), 24U) << path;
      EXPECT_EQ(v.unit(), "G.U.") << path;
      EXPECT_EQ(v.description(), description) << path;
      EXPECT_FALSE(v.isWritable()) << path;
    }
    for(auto [b, c] : {std::pair{0, 0}, std::pair{0, 1}, std::pair{1, 0}}) {
      auto& amplitude = cs.variable(channelPath(b, c, "amplitude"));
      EXPECT_EQ(amplitude.unit(), "G.U.L.S.");
      EXPECT_EQ(amplitude.description(), "Amplitude over time");
      EXPECT_EQ(amplitude.nElements(), 24U);
      auto& phase = cs.variable(channelPath(b, c, "phase"));
      EXPECT_EQ(phase.unit(), "deg");
      EXPECT_EQ(phase.description(), "Phase over time");
      auto& flag = cs.variable(channelPath(b, c, "isForwardSignal"));
      EXPECT_EQ(flag.type(), DataType::int32);
      EXPECT_TRUE(flag.isFedByControlSystem());
    }
    EXPECT_FALSE(cs.has(channelPath(1, 1, "amplitude")));
    EXPECT_FALSE(cs.has(channelPath(2, 0, "amplitude")));
  }

  TEST(SoftwareVectorSum, SumsTheFlaggedChannelsSampleBySample) {
    // two boards, three blocks of the module's work with a tail, random signals; flags of any
    // non-zero value include a channel
    const std::vector<std::uint32_t> shape{3, 2};
    const std::size_t length = 2500;
    const std::vector<std::vector<int>> flags{{1, 0, 2}, {-1, 0}};
    StationConfig station("vsSum", shape, length);
    VectorSumApp app(station);
    TestFacility test(app);
    for(std::size_t b = 0; b < shape.size(); ++b) {
      for(std::size_t c = 0; c < shape[b]; ++c) test.setScalarDefault(channelPath(b, c, "isForwardSignal"), flags[b][c]);
    }
    test.runApplication();

    std::mt19937 generator(2024);
    std::uniform_real_distribution<float> amplitude(0.F, 30.F), phase(-180.F, 180.F);
    for(int pulse = 0; pulse < 3; ++pulse) {
      std::vector<std::vector<Signal>> signals;
      for(auto nChannels : shape) {
        auto& board = signals.emplace_back();
        for(std::uint32_t c = 0; c < nChannels; ++c) {
          Signal s{std::vector<float>(length), std::vector<float>(length)};
          for(std::size_t k = 0; k < length; ++k) {
            s.amplitude[k] = amplitude(generator);
            s.phase[k] = phase(generator);
          }
          board.push_back(std::move(s));
        }
      }
      sendPulse(test, signals);

      auto i = test.readArray<float>(iPath), q = test.readArray<float>(qPath);
      ASSERT_EQ(i.size(), length);
      ASSERT_EQ(q.size(), length);
      for(std::size_t k = 0; k < length; ++k) {
        double iExpected = 0., qExpected = 0.;
        for(std::size_t b = 0; b < shape.size(); ++b) {
          for(std::size_t c = 0; c < shape[b]; ++c) {
            if(flags[b][c] == 0) continue;
            double radians = signals[b][c].phase[k] * std::numbers::pi / 180.;
            iExpected += signals[b][c].amplitude[k] * std::cos(radians);
            qExpected += signals[b][c].amplitude[k] * std::sin(radians);
          }
        }
        ASSERT_NEAR(i[k], iExpected, 2e-5) << "pulse " << pulse << " sample " << k;
        ASSERT_NEAR(q[k], qExpected, 2e-5) << "pulse " << pulse << " sample " << k;
      }
    }
  }

  struct EdgeCase {
    const char* name;
    std::vector<int> flags;        // one board
    std::vector<float> amplitudes; // per channel, every sample
    std::vector<float> phases;     // per channel, every sample
    float i, q;
  };

  TEST(SoftwareVectorSum, EdgeCases) {
    const std::vector<EdgeCase> cases{
        {"no channel flagged", {0, 0}, {1.F, 2.F}, {0.F, 30.F}, 0.F, 0.F},
        {"amplitude 2 at 90 degrees", {1, 0}, {2.F, 5.F}, {90.F, 0.F}, 0.F, 2.F},
        {"opposite phases cancel", {1, 1}, {3.F, 3.F}, {0.F, 180.F}, 0.F, 0.F},
        {"flags 2 and -1 include", {2, -1}, {1.F, 1.F}, {0.F, -90.F}, 1.F, -1.F},
        {"-180 and 180 are one phase", {1, 1}, {1.F, 1.F}, {-180.F, 180.F}, -2.F, 0.F},
    };
    for(auto& edge : cases) {
      SCOPED_TRACE(edge.name);
      const std::size_t length = 13;
      StationConfig station("vsEdge", {static_cast<std::uint32_t>(edge.flags.size())}, length);
      VectorSumApp app(station);
      TestFacility test(app);
      for(std::size_t c = 0; c < edge.flags.size(); ++c) {
        test.setScalarDefault(channelPath(0, c, "isForwardSignal"), edge.flags[c]);
      }
      test.runApplication();
      std::vector<std::vector<Signal>> signals(1);
      for(std::size_t c = 0; c < edge.flags.size(); ++c) {
        signals[0].push_back(Signal{
            std::vector<float>(length, edge.amplitudes[c]), std::vector<float>(length, edge.phases[c])});
      }
      auto updates = test.updateCount(iPath);
      sendPulse(test, signals);
      EXPECT_EQ(test.updateCount(iPath), updates + 1);
      for(float v : test.readArray<float>(iPath)) EXPECT_NEAR(v, edge.i, 1e-6);
      for(float v : test.readArray<float>(qPath)) EXPECT_NEAR(v, edge.q, 1e-6);
    }
  }

  TEST(SoftwareVectorSum, WaitsForNewArraysOfEveryChannelFlaggedOrNot) {
    StationConfig station("vsWaits", {2, 1}, 8);
    VectorSumApp app(station);
    TestFacility test(app);
    // only board 0 channel 0 is flagged; the others must still deliver before a sum
    test.setScalarDefault(channelPath(0, 0, "isForwardSignal"), 1);
    test.runApplication();

    auto updates = test.updateCount(iPath);
    test.writeArray(channelPath(0, 0, "amplitude"), std::vector<float>(8, 4.F));
    test.writeArray(channelPath(0, 0, "phase"), std::vector<float>(8, 0.F));
    test.writeArray(channelPath(0, 1, "amplitude"), std::vector<float>(8, 1.F));
    test.writeArray(channelPath(0, 1, "phase"), std::vector<float>(8, 1.F));
    test.writeArray(channelPath(1, 0, "amplitude"), std::vector<float>(8, 1.F));
    test.stepApplication();
    EXPECT_EQ(test.updateCount(iPath), updates);

    // the last missing array of an unflagged channel completes the pulse
    test.writeArray(channelPath(1, 0, "phase"), std::vector<float>(8, 1.F));
    test.stepApplication();
    EXPECT_EQ(test.updateCount(iPath), updates + 1);
    EXPECT_EQ(test.readArray<float>(iPath), std::vector<float>(8, 4.F));
  }

  TEST(SoftwareVectorSum, FlagChangesApplyFromTheNextPulse) {
    const std::vector<std::uint32_t> shape{2};
    StationConfig station("vsFlags", shape, 5);
    VectorSumApp app(station);
    TestFacility test(app);
    test.setScalarDefault(channelPath(0, 0, "isForwardSignal"), 1);
    test.runApplication();

    auto signals = constantSignals(shape, 5, 1.F, 0.F);
    signals[0][1].amplitude.assign(5, 10.F);
    sendPulse(test, signals);
    EXPECT_EQ(test.readArray<float>(iPath), std::vector<float>(5, 1.F));

    // a flag write alone does not start a sum; the next pulse uses it
    auto updates = test.updateCount(iPath);
    test.writeScalar(channelPath(0, 1, "isForwardSignal"), 1);
    test.stepApplication();
    EXPECT_EQ(test.updateCount(iPath), updates);
    sendPulse(test, signals);
    EXPECT_EQ(test.readArray<float>(iPath), std::vector<float>(5, 11.F));

    test.writeScalar(channelPath(0, 0, "isForwardSignal"), 0);
    sendPulse(test, signals);
    EXPECT_EQ(test.readArray<float>(iPath), std::vector<float>(5, 10.F));
  }

  TEST(SoftwareVectorSum, CarriesTheVersionAndValidityOfThePulse) {
    const std::vector<std::uint32_t> shape{2};
    StationConfig station("vsVersion", shape, 4);
    VectorSumApp app(station);
    TestFacility test(app);
    test.runApplication();

    VersionNumber pulse;
    for(std::size_t c = 0; c < 2; ++c) {
      test.writeArray(channelPath(0, c, "amplitude"), std::vector<float>(4, 1.F), pulse);
      test.writeArray(channelPath(0, c, "phase"), std::vector<float>(4, 0.F), pulse);
    }
    test.stepApplication();
    EXPECT_EQ(test.getVersion(iPath), pulse);
    EXPECT_EQ(test.getVersion(qPath), pulse);
    EXPECT_EQ(test.getValidity(iPath), DataValidity::ok);

    // a faulty channel array makes the sum faulty
    test.variable(channelPath(0, 1, "phase")).set(std::vector<float>(4, 0.F), VersionNumber{}, DataValidity::faulty);
    test.writeArray(channelPath(0, 0, "amplitude"), std::vector<float>(4, 1.F));
    test.writeArray(channelPath(0, 0, "phase"), std::vector<float>(4, 0.F));
    test.writeArray(channelPath(0, 1, "amplitude"), std::vector<float>(4, 1.F));
    test.stepApplication();
    EXPECT_EQ(test.getValidity(iPath), DataValidity::faulty);
  }

  TEST(SoftwareVectorSum, WithoutChannelsPublishesZerosOnceAndEnds) {
    StationConfig station("vsNoChannel", {}, 6);
    VectorSumApp app(station);
    TestFacility test(app);
    test.runApplication(); // would not become idle if the loop spun on nothing to wait for
    EXPECT_EQ(test.readArray<float>(iPath), std::vector<float>(6, 0.F));
    EXPECT_EQ(test.updateCount(iPath), 1U);
  }

  TEST(SoftwareVectorSum, MissingOrMistypedConfigurationStopsConstruction) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases{
        {"Configuration/pulseLength", std::nullopt},
        {"Configuration/nAdcBoards", std::nullopt},
        {"Configuration/AdcBoard1/nChannels", std::nullopt},
        {"Configuration/AdcBoard0/nChannels", "int32"},
        {"Configuration/pulseLength", "double"},
    };
    for(auto& [key, type] : cases) {
      StationConfig station("vsConfig", {1, 1}, 4);
      if(type) station.set(key, *type, "4");
      else station.remove(key);
      EXPECT_THROW(VectorSumApp app(station), Corvane::logic_error) << key << " " << type.value_or("missing");
    }
  }

} // namespace
