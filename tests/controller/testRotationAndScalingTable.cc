// The rotation-and-scaling tables of the controller on the recording board: I = scale cos(rotation) and
// Q = scale sin(rotation) per sample reach the board's table, every update flips the buffer select, and an
// update with an element that is not a usable number changes nothing on the board.
#include "ControllerStation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace controllertest;

namespace {

  /// One fixed-point step of the board's rotation tables (15 fractional bits).
  constexpr double calibrationStep = 1.0 / (1 << 15);

  std::vector<double> filled(double value) { return std::vector<double>(pulseLength, value); }

  void writeTable(Station& station, const std::string& table, const std::string& input, std::vector<double> values) {
    station.test.writeArray(table + "/" + input, values);
    station.settle();
  }

  TEST(RotationAndScalingTable, EachSampleIsScaledAndRotatedByItsOwnValues) {
    struct Case {
      double scale, rotation, i, q;
    };
    // rotation 90 leaves cos(pi/2) ~ 6.1e-17 times the scale in I, not 0; angles are used unfolded
    const double diagonal = 3 * std::sqrt(0.5);
    const Case cases[pulseLength] = {{1, 0, 1, 0}, {2, 90, 0, 2}, {1.5, 180, -1.5, 0}, {-1, 90, 0, -1}, {0, 33, 0, 0},
        {1, 450, 0, 1}, {0.5, -90, 0, -0.5}, {3, 45, diagonal, diagonal}};
    std::vector<double> scale, rotation;
    for(const auto& c : cases) {
      scale.push_back(c.scale);
      rotation.push_back(c.rotation);
    }
    for(const auto& table : {feedForwardRotation, outputCalibration}) {
      Station station;
      station.test.writeArray(table + "/rotation", rotation);
      writeTable(station, table, "scale", scale);
      auto i = station.test.readArray<double>(table + "/I");
      auto q = station.test.readArray<double>(table + "/Q");
      auto boardI = station.board->getRegister<double>(registersOf(table) + "/I");
      auto boardQ = station.board->getRegister<double>(registersOf(table) + "/Q");
      for(std::size_t k = 0; k < pulseLength; ++k) {
        SCOPED_TRACE(table + " sample " + std::to_string(k));
        EXPECT_NEAR(i[k], cases[k].i, 1e-15);
        EXPECT_NEAR(q[k], cases[k].q, 1e-15);
        EXPECT_NEAR(boardI[k], cases[k].i, calibrationStep / 2);
        EXPECT_NEAR(boardQ[k], cases[k].q, calibrationStep / 2);
      }
    }
  }

  TEST(RotationAndScalingTable, ScaleTwoAtNinetyDegreesPutsTwoInQ) {
    Station station;
    station.test.writeArray(feedForwardRotation + "/rotation", filled(90));
    writeTable(station, feedForwardRotation, "scale", filled(2));
    EXPECT_EQ(station.test.readArray<double>(feedForwardRotation + "/Q"), filled(2));
    for(double i : station.test.readArray<double>(feedForwardRotation + "/I")) EXPECT_NEAR(i, 0, 1e-15);
    // the board holds 2 in Q (the last step below its range of +-4) and exactly 0 in I
    EXPECT_EQ(station.board->getRegister<double>(registersOf(feedForwardRotation) + "/Q"), filled(2));
    EXPECT_EQ(station.board->getRegister<double>(registersOf(feedForwardRotation) + "/I"), filled(0));
  }

  TEST(RotationAndScalingTable, SuccessiveUpdatesAlternateTheBuffers) {
    Station station;
    const auto board = registersOf(outputCalibration);
    // the first pass at start selected buffer 1; the firmware reports the buffer last selected
    ASSERT_EQ(station.board->getRegister<std::int32_t>(board + "/bufferSelectI").at(0), 1);
    const std::int32_t expectedSelects[] = {0, 1, 0};
    const double scales[] = {1, 2, 2}; // an unchanged update is an update too
    for(std::size_t n = 0; n < 3; ++n) {
      station.board->watchTable(board);
      writeTable(station, outputCalibration, "scale", filled(scales[n]));
      EXPECT_EQ(station.board->getRegister<std::int32_t>(board + "/bufferSelectI").at(0), expectedSelects[n]) << n;
      EXPECT_EQ(station.board->getRegister<std::int32_t>(board + "/bufferSelectQ").at(0), expectedSelects[n]) << n;
      EXPECT_EQ(station.board->accesses(), (std::vector<std::string>{"lock", "write I", "write Q", "read current I",
                                               "read current Q", "write select I", "write select Q", "unlock"}))
          << n;
      EXPECT_EQ(station.board->getRegister<double>(board + "/I"), filled(scales[n])) << n;
    }
    // the other table was not touched
    EXPECT_EQ(station.board->getWriteCount(registersOf(feedForwardRotation) + "/I"), 1u);
  }

  TEST(RotationAndScalingTable, AnUpdateWithANonFiniteElementChangesNothing) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
      std::string input;
      std::size_t index;
      double value;
      std::string element;
    };
    const Case cases[] = {{"scale", 3, nan, "scale[3] is nan"}, {"rotation", 0, inf, "rotation[0] is inf"},
        {"scale", 7, -inf, "scale[7] is -inf"}, {"scale", 1, 1e39, "scale[1] is 1e+39"}};
    Station station;
    const auto board = registersOf(feedForwardRotation);
    station.test.writeArray(feedForwardRotation + "/rotation", filled(90));
    writeTable(station, feedForwardRotation, "scale", filled(2));
    for(const auto& c : cases) {
      SCOPED_TRACE(c.element);
      const auto writesBefore = station.board->getWriteCount();
      const auto selectBefore = station.board->getRegister<std::int32_t>(board + "/bufferSelectI").at(0);
      const auto good = filled(c.input == "scale" ? 2 : 90);
      auto values = good;
      values[c.index] = c.value;
      station.log.take();
      writeTable(station, feedForwardRotation, c.input, values);
      // no lock, no data, no select: the firmware keeps using the last table
      EXPECT_EQ(station.board->getWriteCount(), writesBefore);
      EXPECT_EQ(station.board->getRegister<double>(board + "/Q"), filled(2));
      EXPECT_EQ(station.board->getRegister<std::int32_t>(board + "/bufferSelectI").at(0), selectBefore);
      EXPECT_EQ(station.test.readArray<double>(feedForwardRotation + "/Q"), filled(2));
      EXPECT_EQ(station.log.warningsContaining("refused"),
          std::vector<std::string>{"Table " + feedForwardRotation + " refused: " + c.element +
                                   "; the firmware keeps the last table"});
      // repaired, the table goes to the board again
      writeTable(station, feedForwardRotation, c.input, good);
      EXPECT_EQ(station.board->getRegister<std::int32_t>(board + "/bufferSelectI").at(0), 1 - selectBefore);
    }
  }

} // namespace
