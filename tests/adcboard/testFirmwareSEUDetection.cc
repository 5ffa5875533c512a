// Firmware SEU detection: confirmation of the unrecoverable-error flag and the totals of the
// CRC and ECC counters across FPGA reboots.
#include "ServicesFixture.h"

#include <Corvane/TestFacility.h>
#include <Corvane/detail/Scheduler.h>
#include <gtest/gtest.h>

#include <vector>

using namespace Corvane;
using adcboard::ServicesApp;

namespace {

  const std::string seu = "/AdcBoard0/FirmwareSEUDetection/";

  struct Reading {
    std::uint32_t raw, crc, ecc;
  };

  void setRegisters(const Reading& r) {
    auto board = adcboard::dummy("Adc0");
    board->setRegister<std::uint32_t>("Adc.FirmwareSEUDetection.unrecoverableErrorDetectedRaw", {r.raw});
    board->setRegister<std::uint32_t>("Adc.FirmwareSEUDetection.crcErrorSinceFpgaBoot", {r.crc});
    board->setRegister<std::uint32_t>("Adc.FirmwareSEUDetection.eccFixedFramesSinceFpgaBoot", {r.ecc});
  }

  struct Outputs {
    std::uint32_t confirmed;
    std::uint64_t crcTotal, eccTotal;
    bool operator==(const Outputs&) const = default;
  };

  Outputs outputs(TestFacility& test) {
    return {test.readScalar<std::uint32_t>(seu + "unrecoverableErrorDetected"),
        test.readScalar<std::uint64_t>(seu + "crcErrors"), test.readScalar<std::uint64_t>(seu + "eccFixedFramesTotal")};
  }

  /// Runs a board whose registers hold readings[0] when the device opens and readings[i] at
  /// trigger i; returns the module's outputs after each reading. The totals start from
  /// `crcStart` and `eccStart`, as the control system restores them.
  std::vector<Outputs> run(const std::vector<Reading>& readings, std::uint64_t crcStart, std::uint64_t eccStart) {
    ServicesApp app;
    TestFacility test(app);
    test.setScalarDefault<std::uint64_t>(seu + "crcErrors", crcStart);
    test.setScalarDefault<std::uint64_t>(seu + "eccFixedFramesTotal", eccStart);
    setRegisters(readings.at(0));
    test.runApplication();
    std::vector<Outputs> result{outputs(test)};
    for(std::size_t i = 1; i < readings.size(); ++i) {
      setRegisters(readings[i]);
      test.writeScalar<std::int64_t>("/Server/triggerNumber", std::int64_t(i));
      test.stepApplication();
      result.push_back(outputs(test));
    }
    return result;
  }

  std::vector<std::uint32_t> confirmedOf(const std::vector<Outputs>& all) {
    std::vector<std::uint32_t> result;
    for(auto& o : all) result.push_back(o.confirmed);
    return result;
  }

} // namespace

TEST(FirmwareSEUDetection, UnrecoverableErrorIsReportedFromTheSecondConsecutiveReading) {
  struct Case {
    std::vector<std::uint32_t> raw; // the first is the reading at start
    std::vector<std::uint32_t> reported;
  };
  for(auto& c : {Case{{0, 1, 0, 1, 1, 1, 0}, {0, 0, 0, 0, 1, 1, 0}},
          // a flag already set at start is reported at once; any non-zero value counts
          Case{{1, 1, 0, 7, 2, 0}, {1, 1, 0, 0, 1, 0}}}) {
    std::vector<Reading> readings;
    for(auto raw : c.raw) readings.push_back({raw, 0, 0});
    EXPECT_EQ(confirmedOf(run(readings, 0, 0)), c.reported);
  }
}

TEST(FirmwareSEUDetection, CountersAccumulateAcrossFpgaReboots) {
  // CRC 5, 7, 7, 2, 3 from 100: the reboot to 2 counts its 2 new errors; ECC's first reading
  // of 10 is the base and adds nothing.
  auto result = run({{0, 5, 10}, {0, 7, 10}, {0, 7, 12}, {0, 2, 1}, {0, 3, 1}}, 100, 40);
  std::vector<Outputs> expected{{0, 100, 40}, {0, 102, 40}, {0, 102, 42}, {0, 104, 43}, {0, 105, 43}};
  EXPECT_EQ(result, expected);
}

TEST(FirmwareSEUDetection, TotalsWrittenFromOutsideAreNeitherTakenOverNorLost) {
  ServicesApp app;
  TestFacility test(app);
  test.setScalarDefault<std::uint64_t>(seu + "crcErrors", 50);
  test.runApplication();
  const auto lostBefore = app.scheduler().lostTransfers.load();
  for(std::uint32_t i = 1; i <= 6; ++i) {
    test.writeScalar<std::uint64_t>(seu + "crcErrors", 999);
    test.writeScalar<std::uint64_t>(seu + "eccFixedFramesTotal", 999);
    test.stepApplication();
    setRegisters({0, i, 0});
    VersionNumber triggerVersion;
    test.writeScalar<std::int64_t>("/Server/triggerNumber", i, triggerVersion);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<std::uint64_t>(seu + "crcErrors"), 50u + i);
    EXPECT_EQ(test.readScalar<std::uint64_t>(seu + "eccFixedFramesTotal"), 0u);
    // the totals belong to the trigger's reading, not to the outside write
    EXPECT_EQ(test.getVersion(seu + "crcErrors"), triggerVersion);
  }
  EXPECT_EQ(app.scheduler().lostTransfers.load(), lostBefore);
}
