// The channel filter module on a board with its firmware table mutex: coefficients of each filter type
// against values worked out here, one lock/write/unlock per input update with the lock held during the
// write, and refused requests that keep the last good coefficients.
#include "AdcBoardFixture.h"

#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace adctest;

namespace {

  const std::string filter = channel0 + "Filter/";

  struct FilterBoard {
    explicit FilterBoard(unsigned nChannels = 1, std::int32_t initialType = 0, double initialFrequency = 0.0)
    : app(BoardSettings{.name = "adcfilter", .nChannels = nChannels}), test(app) {
      for(unsigned j = 0; j < nChannels; ++j) {
        const std::string path = "/AdcBoard0/Channel" + std::to_string(j) + "/Filter/";
        test.setScalarDefault<std::int32_t>(path + "type", initialType);
        test.setScalarDefault<double>(path + "frequency", initialFrequency);
      }
      board = boardBackend();
      test.runApplication();
      settleLocks(test);
    }

    void set(const std::string& input, double value) {
      if(input == "type") {
        test.writeScalar<std::int32_t>(filter + input, static_cast<std::int32_t>(value));
      }
      else {
        test.writeScalar<double>(filter + input, value);
      }
      test.stepApplication();
      settleLocks(test);
    }
    std::vector<float> inFirmware(unsigned channel = 0) {
      return board->getRegister<float>("Adc.Channel" + std::to_string(channel) + ".Filter.coefficients");
    }
    std::size_t writes() { return board->coefficientWrites().size(); }
    bool everyWriteLocked() {
      for(const auto& write : board->coefficientWrites()) {
        if(!write.locked) return false;
      }
      return true;
    }
    bool released() {
      return board->getRegister<std::int32_t>("Adc.Configuration.filterCoefficientsValid.state").at(0) == 1;
    }

    LogCapture log;
    BoardApp app;
    Corvane::TestFacility test;
    std::shared_ptr<LockWatchingBackend> board;
  };

  void expectCoefficients(const std::vector<float>& found, const std::vector<double>& expected, const char* what) {
    ASSERT_EQ(found.size(), expected.size()) << what;
    for(std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(found[i], expected[i], 1e-6) << what << " [" << i << "]";
  }

} // namespace

TEST(FilterCoefficients, StartWritesThePassThroughOnceUnderTheLock) {
  FilterBoard board;
  expectCoefficients(board.inFirmware(), {0, 0, 1, 0, 0}, "no filter");
  EXPECT_EQ(board.writes(), 1u);
  EXPECT_TRUE(board.everyWriteLocked());
  EXPECT_TRUE(board.released());
  EXPECT_EQ(board.test.readArray<double>(filter + "coefficients"), (std::vector<double>{0, 0, 1, 0, 0}));
}

TEST(FilterCoefficients, EachTypeGivesItsCoefficients) {
  // The IQ sampling rate is 100 MHz / 100 = 1000 kHz; at 250 kHz the pre-warped constant K is 1.
  const double root2 = std::sqrt(2.0);
  struct Case {
    const char* what;
    double frequency, bandwidth;
    std::int32_t type;
    std::vector<double> expected;
  };
  const Case cases[] = {
      {"low-pass", 250.0, 25.0, 2, {0, (2 - root2) / (2 + root2), 1 / (2 + root2), 2 / (2 + root2), 1 / (2 + root2)}},
      {"notch", 250.0, 25.0, 1, {0, 9.0 / 11.0, 10.0 / 11.0, 0, 10.0 / 11.0}},
      {"block", 250.0, 25.0, 3, {0, 0, 0, 0, 0}},
      {"unknown type 4 blocks", 250.0, 25.0, 4, {0, 0, 0, 0, 0}},
      {"unknown type -1 blocks", 250.0, 25.0, -1, {0, 0, 0, 0, 0}},
      {"no filter", 250.0, 25.0, 0, {0, 0, 1, 0, 0}},
  };
  FilterBoard board;
  board.set("frequency", 250.0);
  board.set("bandwidth", 25.0);
  for(const auto& c : cases) {
    board.set("type", c.type);
    expectCoefficients(board.inFirmware(), c.expected, c.what);
    const auto published = board.test.readArray<double>(filter + "coefficients");
    for(std::size_t i = 0; i < 5; ++i) EXPECT_NEAR(published[i], c.expected[i], 1e-12) << c.what;
  }
  EXPECT_TRUE(board.everyWriteLocked());
  EXPECT_TRUE(board.released());
}

TEST(FilterCoefficients, EveryInputUpdateWritesOnceUnderTheLock) {
  FilterBoard board;
  board.set("frequency", 100.0);
  board.set("type", 2);
  const auto lowPass = board.inFirmware();
  const std::size_t before = board.writes();
  // The bandwidth is not used by a low-pass, and an unchanged value is an update too.
  board.set("bandwidth", 5.0);
  board.set("type", 2);
  EXPECT_EQ(board.writes(), before + 2);
  EXPECT_EQ(board.inFirmware(), lowPass);
  EXPECT_TRUE(board.everyWriteLocked());
  EXPECT_TRUE(board.released());
}

TEST(FilterCoefficients, RefusedRequestsKeepTheLastGoodCoefficients) {
  FilterBoard board;
  board.set("frequency", 250.0);
  board.set("bandwidth", 25.0);
  board.set("type", 1);
  const auto notch = board.inFirmware();
  const std::size_t writes = board.writes();
  struct Step {
    const char* input;
    double value;
    const char* named;
  };
  for(const auto& step : {Step{"bandwidth", 0.0, "bandwidth"}, Step{"frequency", 500.0, "frequency"},
          Step{"frequency", -3.0, "frequency"}}) {
    board.set(step.input, step.value);
    EXPECT_EQ(board.writes(), writes) << step.input << " " << step.value;
    EXPECT_EQ(board.inFirmware(), notch) << step.input << " " << step.value;
    EXPECT_FALSE(board.log.warningsContaining(step.named).empty()) << step.input << " " << step.value;
  }
  EXPECT_TRUE(board.released());
}

TEST(FilterCoefficients, ARefusedRequestAtStartPassesTheSignal) {
  // A low-pass at 0 kHz cannot be designed: the filter passes the signal until a valid request arrives.
  FilterBoard board(1, 2, 0.0);
  expectCoefficients(board.inFirmware(), {0, 0, 1, 0, 0}, "pass-through");
  EXPECT_EQ(board.writes(), 1u);
  EXPECT_EQ(board.log.warningsContaining("passes the signal").size(), 1u);
  board.set("frequency", 250.0);
  EXPECT_NEAR(board.inFirmware()[1], 0.171573, 1e-6);
}

TEST(FilterCoefficients, AllChannelsOfABoardWriteUnderTheBoardsLock) {
  FilterBoard board(3, 2, 250.0);
  for(unsigned j = 0; j < 3; ++j) EXPECT_NEAR(board.inFirmware(j)[2], 0.292893, 1e-6) << j;
  EXPECT_EQ(board.writes(), 3u);
  EXPECT_TRUE(board.everyWriteLocked());
  EXPECT_TRUE(board.released());
}
