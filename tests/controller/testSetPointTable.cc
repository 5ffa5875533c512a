// The table generation's set-point table on the recording board: an amplitude A
// puts A x bitScaling / 2^vectorSumBitShift into the board's set-point I table
// (fixed point, saturating at the register's range), each regeneration switches
// the buffer under the firmware table lock.
#include "ControllerStation.h"

#include <Corvane/WakeUpBatch.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace controllertest;

namespace {

  const std::string setPoint = "/Controller/SetPoint";
  const std::string board = registersOf(setPoint + "/Table");

  /// The station's pulse at the table generation's fallbacks (1 MHz, flat-top 1 us, no delay): the flat-top is
  /// sample 0.
  void writeSetPoint(Station& station, double bitScaling, std::uint8_t shift, double amplitude) {
    {
      Corvane::WakeUpBatch batch; // one regeneration for the three
      station.test.writeScalar<double>("/Configuration/bitScaling", bitScaling);
      station.test.writeScalar<std::uint8_t>("/Configuration/vectorSumBitShift", shift);
      station.test.writeScalar<double>(setPoint + "/amplitude", amplitude);
    }
    station.settle();
  }

  TEST(SetPointTable, AmplitudeReachesTheBoardInDigits) {
    struct Case {
      double bitScaling;
      std::uint8_t shift;
      double amplitude;
      std::int32_t digits;
    };
    // 18-bit signed registers: 131071 is the largest
    const Case cases[] = {{1000, 3, 2, 250}, {1000, 0, 2.5, 2500}, {10000, 8, 1.28, 50}, {1000, 0, 1000, 131071}};
    Station station;
    for(const auto& c : cases) {
      SCOPED_TRACE(
          std::to_string(c.amplitude) + " at " + std::to_string(c.bitScaling) + " / 2^" + std::to_string(c.shift));
      writeSetPoint(station, c.bitScaling, c.shift, c.amplitude);
      const auto i = station.board->getRegister<std::int32_t>(board + "/I");
      const auto q = station.board->getRegister<std::int32_t>(board + "/Q");
      EXPECT_EQ(i.at(0), c.digits);
      EXPECT_EQ(std::vector<std::int32_t>(i.begin() + 1, i.end()), std::vector<std::int32_t>(pulseLength - 1, 0));
      EXPECT_EQ(q, std::vector<std::int32_t>(pulseLength, 0));
    }
  }

  TEST(SetPointTable, EachRegenerationSwitchesTheBufferUnderTheLock) {
    Station station;
    station.board->watchTable(board);
    writeSetPoint(station, 1000, 0, 1);
    // the current buffers are also polled whenever the module wakes (they are among its parameters); the write
    // itself is the double-buffer protocol
    auto accesses = station.board->accesses();
    accesses.erase(accesses.begin(), std::find(accesses.begin(), accesses.end(), "lock"));
    EXPECT_EQ(accesses,
        (std::vector<std::string>{"lock", "write I", "write Q", "read current I", "read current Q", "write select I",
            "write select Q", "unlock"}));
    const auto select = station.board->getRegister<std::int32_t>(board + "/bufferSelectI").at(0);
    station.test.writeScalar<double>(setPoint + "/amplitude", 2);
    station.settle();
    EXPECT_EQ(station.board->getRegister<std::int32_t>(board + "/bufferSelectI").at(0), 1 - select);
    EXPECT_EQ(station.board->getRegister<std::int32_t>(board + "/bufferSelectQ").at(0), 1 - select);
    EXPECT_EQ(station.board->getRegister<std::int32_t>(board + "/I").at(0), 2000);
  }

} // namespace
