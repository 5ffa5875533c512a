// The generated tables in I/Q: scaled into digits by bitScaling / 2^shift, the
// set-point correction added when enabled, every regeneration's feed-forward I
// and Q published with one version of their own, the set-point table written
// under the firmware table lock, and a generation holding a non-finite value
// refused whole.
#include "TableGenerationStation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

  using namespace tablegenerationtest;

  /// The flat-top of the station's pulse: samples 15 to 18.
  constexpr std::size_t flattop = 16;

  TEST(IQTables, AmplitudeTimesBitScalingOverTwoToTheShift) {
    struct Case {
      std::uint8_t shift;
      double phase, i, q;
    };
    // amplitude 2 at 10^4 digits per unit
    const Case cases[] = {{0, 0, 2e4, 0}, {2, 0, 5e3, 0}, {8, 0, 2e4 / 256, 0}, {2, 90, 0, 5e3}, {2, 180, -5e3, 0}};
    for(const auto& c : cases) {
      SCOPED_TRACE("shift " + std::to_string(c.shift) + ", phase " + std::to_string(c.phase));
      Station station;
      station.test.setScalarDefault<std::uint8_t>(path::bitShift, c.shift);
      station.test.setScalarDefault<double>(path::amplitude, 2.0);
      station.test.setScalarDefault<double>(path::phase, c.phase);
      station.test.setScalarDefault<double>(path::flattopRatio, 1.0);
      station.run();
      for(const auto& [i, q] : {std::pair{path::spI, path::spQ}, std::pair{path::ffI, path::ffQ}}) {
        EXPECT_NEAR(station.test.readArray<double>(i).at(flattop), c.i, 1e-9) << i;
        EXPECT_NEAR(station.test.readArray<double>(q).at(flattop), c.q, 1e-9) << q;
        EXPECT_EQ(station.test.readArray<double>(i).at(30), 0.0) << "after the pulse";
      }
    }
  }

  TEST(IQTables, EnabledCorrectionIsAddedToTheSetPointTable) {
    Station station;
    station.test.setScalarDefault<double>(path::amplitude, 2.0);
    std::vector<std::int32_t> correctionI(64, 0), correctionQ(64, 0);
    correctionI[3] = 5; // amplitude 0 there
    correctionI[flattop] = -7;
    correctionQ[flattop] = 11;
    station.test.setArrayDefault("/Controller/SetPoint/Correction/I", correctionI);
    station.test.setArrayDefault("/Controller/SetPoint/Correction/Q", correctionQ);
    station.run();
    EXPECT_EQ(station.test.readArray<double>(path::spI).at(3), 0.0);
    EXPECT_EQ(station.test.readArray<double>(path::spI).at(flattop), 5e3);
    station.test.writeScalar<Corvane::Boolean>("/Controller/SetPoint/Correction/enable", true);
    station.test.stepApplication();
    EXPECT_EQ(station.test.readArray<double>(path::spI).at(3), 5.0);
    EXPECT_EQ(station.test.readArray<double>(path::spI).at(flattop), 5e3 - 7);
    EXPECT_EQ(station.test.readArray<double>(path::spQ).at(flattop), 11.0);
    // the feed-forward table gets no correction here
    EXPECT_EQ(station.test.readArray<double>(path::ffI).at(3), 0.0);
  }

  TEST(IQTables, EachRegenerationPublishesFeedForwardIAndQOfOneVersion) {
    Station station;
    station.run();
    auto& locks = station.app.tableLock.locks;
    EXPECT_EQ(locks, 1);
    Corvane::VersionNumber last{nullptr};
    for(double amplitude : {1.0, 2.0, 3.0}) {
      station.test.writeScalar<double>(path::amplitude, amplitude);
      station.test.stepApplication();
      const auto version = station.test.getVersion(path::ffI);
      EXPECT_EQ(station.test.getVersion(path::ffQ), version) << amplitude;
      EXPECT_EQ(station.test.getVersion(path::spI), version) << amplitude;
      EXPECT_GT(version, last);
      last = version;
      EXPECT_EQ(station.test.readArray<double>(path::spI).at(flattop), amplitude * 2500);
    }
    // one lock for each set-point table
    EXPECT_EQ(locks, 4);
  }

  TEST(IQTables, AGenerationHoldingANonFiniteValueIsRefusedWhole) {
    Station station;
    station.test.setScalarDefault<double>(path::limitOperational, 1e20);
    station.test.setScalarDefault<double>(path::limitAbsolute, 1e20);
    station.test.setScalarDefault<double>(path::amplitude, 2.0);
    station.run();
    const auto spI = station.test.readArray<double>(path::spI);
    const auto ffI = station.test.readArray<double>(path::ffI);
    const auto updates = station.test.updateCount(path::spAmplitude);
    // 10^10 G.U. at 10^300 digits per unit: beyond the doubles
    station.test.writeScalar<double>(path::bitScaling, 1e300);
    station.test.writeScalar<double>(path::amplitude, 1e10);
    station.test.stepApplication();
    EXPECT_EQ(station.test.readScalar<std::string>(path::errorMessage),
        "Generated tables refused: /Controller/FeedForward/Table/I[10] is inf; the last tables stay in force.");
    EXPECT_EQ(station.test.readArray<double>(path::spI), spI);
    EXPECT_EQ(station.test.readArray<double>(path::ffI), ffI);
    EXPECT_EQ(station.test.updateCount(path::spAmplitude), updates);
    EXPECT_EQ(station.app.tableLock.locks, 1);
    // a usable amplitude again: the tables follow
    station.test.writeScalar<double>(path::amplitude, 1e-290);
    station.test.stepApplication();
    EXPECT_EQ(station.app.tableLock.locks, 2);
    EXPECT_NEAR(station.test.readArray<double>(path::spI).at(flattop), 2.5e9, 1e-3);
  }

  TEST(IQTables, NoTableReachesTheBoardBeforeTheBitShiftIsAccepted) {
    Station station;
    station.test.setScalarDefault<std::uint8_t>(path::bitShift, 9);
    station.run();
    EXPECT_EQ(station.app.tableLock.locks, 0);
    EXPECT_EQ(station.test.updateCount(path::ffI), 0u);
    station.test.writeScalar<std::uint8_t>(path::bitShift, 3);
    station.test.stepApplication();
    EXPECT_EQ(station.app.tableLock.locks, 1);
    EXPECT_EQ(station.test.updateCount(path::ffI), 1u);
  }

} // namespace
