// The learning feed-forward module: its messages, the reset and the set-point rotation of its tables, the averaging
// and pause rules, the learning with its filters, the refusal of settings that would leave the tables and of models
// that yield values that are not finite, and the learning lowering the error of a plant.
#include "LearningStation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

using namespace adaptivetest;

namespace {

  constexpr float nan = std::numeric_limits<float>::quiet_NaN();
  constexpr float inf = std::numeric_limits<float>::infinity();

  bool allFinite(const Trace& table) {
    return std::all_of(table.begin(), table.end(), [](float v) { return std::isfinite(v); });
  }

  /// The table after one learning cycle of the first-order model on a constant error, shifted by `shift`.
  Trace learnedOnce(float error, std::int32_t shift = 0) {
    Trace table(length, 0.F);
    for(std::int32_t k = pulseStart; k < learningStop; ++k) table[std::size_t(k + shift)] += error;
    return table;
  }

  TEST(LearningFeedForward, ReportsWhyAPulseDoesNotLearn) {
    struct Case {
      const char* situation;
      std::function<void(Learning&)> set;
      float error;
      const char* message;
    };
    const Case cases[] = {
        {"learning disabled", [](Learning& l) { l.parameter("enable", Boolean(false)); }, 1.F, "disabled"},
        {"feed-forward off", [](Learning& l) { l.setting("/Controller/FeedForward/enable", Boolean(false)); }, 1.F,
            "Feedforward or FeedBack is off"},
        {"feedback off", [](Learning& l) { l.setting("/Controller/FeedBack/enable", Boolean(false)); }, 1.F,
            "Feedforward or FeedBack is off"},
        {"CW mode", [](Learning& l) { l.setting<std::int32_t>(pulseShape + "cwMode", 1); }, 1.F,
            "LFF does not operate in CW mode"},
        {"limiter active",
            [](Learning& l) { l.setting<std::uint32_t>("/Controller/Status/controllerStatusForLFF", 4); }, 1.F,
            "LFF disabled due to bad controller status (limiters etc.)"},
        {"error too large", [](Learning& l) { l.parameter("maxControlError", 2.0); }, 3.F,
            "too large maximum controller error: 4.24264"},
        {"error small enough", [](Learning& l) { l.parameter("minControlError", 3.0); }, 2.F,
            "ok (no correction required)"},
        {"empty error window", [](Learning& l) { l.parameter("stopTime", -30.0); }, 1.F, "ok (no correction required)"},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(c.situation);
      Learning learning;
      c.set(learning);
      learning.started().pulse(c.error, c.error);
      EXPECT_EQ(learning.message(), c.message);
      EXPECT_EQ(learning.I(), constant(0.F));
    }
  }

  TEST(LearningFeedForward, LearnsAndReportsWhetherTheTablesWereLimited) {
    struct Case {
      std::uint32_t limit;
      float error;
      const char* message;
      std::int32_t isLimited;
      float expectedPeak;
    };
    const Case cases[] = {{1000, 3.F, "ok", 0, 3.F}, {2, 3.F, "ok (but limited)", 1, 2.F},
        {2, -3.F, "ok (but limited)", 1, -2.F}, {0, 3.F, "ok (but limited)", 1, 0.F}};
    for(const auto& c : cases) {
      SCOPED_TRACE(c.limit);
      Learning learning;
      learning.parameter("outputLimit", c.limit);
      learning.started().pulse(c.error);
      EXPECT_EQ(learning.message(), c.message);
      EXPECT_EQ(learning.read<std::int32_t>(lff + "isLimited"), c.isLimited);
      EXPECT_EQ(learning.I(), learnedOnce(c.expectedPeak));
      EXPECT_EQ(learning.Q(), constant(0.F));
    }
  }

  TEST(LearningFeedForward, AnyResetClearsBothTablesAndTheAveragingGoesOn) {
    Learning learning;
    learning.matrices({1.F, 0.F, 0.F, 1.F}, {0.F, 0.F, 0.F, 0.F}, {1.F, 0.F, 0.F, 1.F});
    learning.parameter<std::uint32_t>("modelOrder", 2);
    learning.started().pulse(1.F, 2.F);
    ASSERT_NE(learning.Q(), constant(0.F));

    learning.parameter<std::uint32_t>("triggerDecimation", 2);
    learning.pulse(4.F, 4.F); // first half of a cycle
    // the reset acts at the next pulse, which is not averaged
    learning.test.writeScalar<std::int32_t>(lff + "reset", 0);
    learning.pulse(100.F, 100.F);
    EXPECT_EQ(learning.I(), constant(0.F));
    EXPECT_EQ(learning.Q(), constant(0.F));
    EXPECT_EQ(learning.message(), "resetting LFF tables");

    learning.pulse(2.F, 2.F); // completes the cycle: the average of 4 and 2
    EXPECT_EQ(learning.message(), "ok");
    EXPECT_EQ(learning.I(), learnedOnce(3.F));
    EXPECT_EQ(learning.Q(), learnedOnce(3.F));
  }

  TEST(LearningFeedForward, TheTablesFollowTheSetPointPhaseInEveryState) {
    Learning learning;
    learning.started().pulse(1.F);
    learning.parameter("enable", Boolean(false));
    const auto writes = learning.tableWrites();

    learning.setting("/Controller/SetPoint/phase", 0.001);
    learning.pulse();
    EXPECT_EQ(learning.tableWrites(), writes);
    learning.setting("/Controller/SetPoint/phase", 0.0011);
    learning.pulse();
    EXPECT_EQ(learning.tableWrites(), writes + 1);
    EXPECT_EQ(learning.message(), "disabled");

    learning.setting("/Controller/SetPoint/phase", 90.0011);
    learning.pulse();
    const auto I = learning.I();
    const auto Q = learning.Q();
    // (1, 0) turned by 0.0011 and then by 90 degrees
    EXPECT_NEAR(I[10], 0.F, 1e-4F);
    EXPECT_NEAR(Q[10], 1.F, 1e-6F);

    // a phase that is not finite turns nothing
    learning.setting("/Controller/SetPoint/phase", double(inf));
    learning.pulse();
    EXPECT_EQ(learning.I(), I);
    EXPECT_EQ(learning.Q(), Q);
    learning.setting("/Controller/SetPoint/phase", double(nan));
    learning.pulse();
    EXPECT_EQ(learning.Q(), Q);
  }

  TEST(LearningFeedForward, ABadControllerStatusAlsoStopsThePulseAfterIt) {
    Learning learning;
    learning.setting<std::uint32_t>("/Controller/Status/bitmaskForInhibitAlgos", 0x3);
    learning.setting<std::uint32_t>("/Controller/Status/controllerStatusForLFF", 0x2); // masked: good
    learning.started().pulse();
    EXPECT_EQ(learning.message(), "ok");

    const std::string bad = "LFF disabled due to bad controller status (limiters etc.)";
    learning.setting<std::uint32_t>("/Controller/Status/controllerStatusForLFF", 0x6);
    learning.pulse();
    EXPECT_EQ(learning.message(), bad);
    learning.setting<std::uint32_t>("/Controller/Status/controllerStatusForLFF", 0);
    learning.pulse();
    EXPECT_EQ(learning.message(), bad);
    learning.pulse();
    EXPECT_EQ(learning.message(), "ok");
    EXPECT_EQ(learning.I(), learnedOnce(2.F));
  }

  TEST(LearningFeedForward, ATooLargeErrorPausesLearningForTwentyCycles) {
    Learning learning;
    learning.parameter("maxControlError", 5.0);
    learning.parameter<std::uint32_t>("triggerDecimation", 2);
    learning.started().pulse(10.F);
    learning.pulse(10.F);
    EXPECT_EQ(learning.message(), "too large maximum controller error: 10");
    const auto writes = learning.tableWrites();
    for(int cycle = 0; cycle < 20; ++cycle) {
      learning.pulse();
      learning.pulse();
    }
    EXPECT_EQ(learning.tableWrites(), writes);
    EXPECT_EQ(learning.message(), "too large maximum controller error: 10");
    learning.pulse();
    learning.pulse();
    EXPECT_EQ(learning.message(), "ok");
    EXPECT_EQ(learning.I(), learnedOnce(1.F));
  }

  TEST(LearningFeedForward, FirstOrderModelAddsTheNextSamplesErrorWithinTheShiftedWindow) {
    Trace errorI(length);
    Trace errorQ(length);
    for(std::size_t k = 0; k < length; ++k) {
      errorI[k] = float(k % 7);
      errorQ[k] = 0.5F * float(k);
    }
    for(std::int32_t shift : {0, 3, -4}) {
      SCOPED_TRACE(shift);
      Learning learning;
      learning.parameter("shiftCorrectionTable", shift);
      learning.started().pulse(errorI, errorQ);
      Trace expected(length, 0.F);
      for(std::int32_t k = pulseStart; k < learningStop; ++k)
        expected[std::size_t(k + shift)] = errorI[std::size_t(k + 1)];
      EXPECT_EQ(learning.I(), expected);
      EXPECT_EQ(learning.Q(), constant(0.F));
    }
  }

  TEST(LearningFeedForward, ShortMatricesServeEverySampleAndTheLongOnesAreNotRead) {
    Learning learning;
    learning.parameter("matrixEnableShort", Boolean(true));
    learning.matrices({1.F, 0.F}, {nan}, {nan, nan});
    auto beta = std::vector<float>(36, 0.F);
    beta[0] = 0.5F;
    auto gamma = std::vector<float>(12, 0.F);
    gamma[0] = 2.F;
    learning.setArray(lff + "matrixBetaShort", beta);
    learning.setArray(lff + "matrixGammaShort", gamma);
    Trace errorI(length);
    for(std::size_t k = 0; k < length; ++k) errorI[k] = float(k % 5);
    learning.started().pulse(errorI, constant(1.F));

    Trace expected(length, 0.F);
    float x = 0.F;
    for(std::int32_t k = learningStop - 1; k >= pulseStart; --k) {
      x = 0.5F * x + 2.F * errorI[std::size_t(k + 1)];
      expected[std::size_t(k)] = x;
    }
    const auto I = learning.I();
    for(std::size_t k = 0; k < length; ++k) EXPECT_FLOAT_EQ(I[k], expected[k]) << k;
    EXPECT_EQ(learning.Q(), constant(0.F));
  }

  TEST(LearningFeedForward, FirCyclesAverageEachTableKeepingItsOwnEdgeSamples) {
    // order 2: I learns from the I error and Q from the Q error; the window covers the whole table but its last
    // sample, so that two cycles with shift 0 and 1 leave distinct non-zero edge samples in both tables
    Learning learning;
    learning.parameter<std::uint32_t>("modelOrder", 2);
    learning.matrices({1.F, 0.F, 0.F, 1.F}, {0.F, 0.F, 0.F, 0.F}, {1.F, 0.F, 0.F, 1.F});
    learning.setting(pulseShape + "delay", 0.0);
    learning.parameter("stopTime", 23.0);
    learning.started().pulse(1.F, 2.F);
    learning.parameter("shiftCorrectionTable", 1);
    learning.pulse(1.F, 2.F);
    const auto I = learning.I();
    const auto Q = learning.Q();
    ASSERT_EQ(I.front(), 1.F);
    ASSERT_EQ(Q.back(), 2.F);

    // a cycle that changes nothing but filters with 3 taps
    learning.setArray(lff + "matrixOmega", std::vector<float>(12, 0.F));
    learning.parameter("firEnable", Boolean(true));
    learning.parameter<std::uint32_t>("firTap", 3);
    learning.pulse(1.F, 2.F);
    const float w = 1.F / 3.F;
    for(const auto& [before, after] : {std::pair{I, learning.I()}, std::pair{Q, learning.Q()}}) {
      EXPECT_EQ(after.front(), before.front());
      EXPECT_EQ(after.back(), before.back());
      for(std::size_t m = 1; m + 1 < length; ++m) {
        EXPECT_EQ(after[m], before[m + 1] * w + before[m] * w + before[m - 1] * w) << m;
      }
    }
  }

  TEST(LearningFeedForward, FirFilteringRunsInEveryThirdLearningCycle) {
    Learning learning;
    learning.parameter("firEnable", Boolean(true));
    learning.parameter<std::uint32_t>("firTap", 5);
    learning.parameter<std::uint32_t>("firExtraTriggerDecimation", 3);
    learning.started();
    Trace expected(length, 0.F);
    for(int cycle = 1; cycle <= 6; ++cycle) {
      SCOPED_TRACE(cycle);
      learning.pulse();
      const auto learned = learnedOnce(1.F);
      for(std::size_t k = 0; k < length; ++k) expected[k] += learned[k];
      const auto table = learning.I();
      EXPECT_EQ(table == expected, cycle % 3 != 0);
      expected = table;
    }
  }

  TEST(LearningFeedForward, SmoothingClearsUpToThePulseStartAndAveragesUpToItsStop) {
    Learning learning;
    learning.parameter("smoothingEnable", Boolean(true));
    learning.parameter<std::uint32_t>("smoothingTap", 3);
    learning.parameter("smoothingStopTime", 20.0);
    learning.parameter("shiftCorrectionTable", -2);
    learning.started().pulse(3.F);
    auto work = learnedOnce(3.F, -2);
    for(std::size_t i = 0; i <= std::size_t(pulseStart); ++i) work[i] = 0.F;
    const float w = 1.F / 3.F;
    for(std::size_t m = pulseStart; m <= 20; ++m) work[m] = work[m + 1] * w + work[m] * w + work[m - 1] * w;
    EXPECT_EQ(learning.I(), work);
  }

  TEST(LearningFeedForward, SettingsThatWouldLeaveTheTablesSkipTheCycle) {
    struct Case {
      const char* settings;
      std::function<void(Learning&)> set;
      const char* message;
    };
    const std::string refused = "settings refused: ";
    const Case cases[] = {
        {"stop beyond the table", [](Learning& l) { l.parameter("stopTime", 21.0); },
            "learning window outside the table"},
        {"error window beyond the table", [](Learning& l) { l.parameter("stopTime", 100.0); },
            "error window outside the table"},
        {"start before the table", [](Learning& l) { l.parameter("startTime", -10.0); },
            "learning window outside the table"},
        {"shift before the table", [](Learning& l) { l.parameter("shiftCorrectionTable", -5); },
            "shifted learning window outside the table"},
        {"shift beyond the table", [](Learning& l) { l.parameter("shiftCorrectionTable", 21); },
            "shifted learning window outside the table"},
        {"model order 7", [](Learning& l) { l.parameter<std::uint32_t>("modelOrder", 7); }, "model order above 6"},
        {"FIR edges before the table",
            [](Learning& l) {
              l.setting(pulseShape + "delay", 1.0);
              l.parameter("firEnable", Boolean(true));
              l.parameter("smoothingEnable", Boolean(true));
              l.parameter<std::uint32_t>("firTap", 3);
            },
            "FIR edge samples outside the table"},
        {"smoothing stop at the table's length",
            [](Learning& l) {
              l.parameter("smoothingEnable", Boolean(true));
              l.parameter<std::uint32_t>("smoothingTap", 3);
              l.parameter("smoothingStopTime", 64.0);
            },
            "smoothing range outside the table"},
        {"negative pulse start under smoothing",
            [](Learning& l) {
              l.setting(pulseShape + "delay", -2.0);
              l.parameter("startTime", 6.0);
              l.parameter("smoothingEnable", Boolean(true));
              l.parameter<std::uint32_t>("smoothingTap", 3);
              l.parameter("smoothingStopTime", 30.0);
            },
            "pulse start before the table"},
        {"NaN sampling frequency", [](Learning& l) { l.setting("/Configuration/samplingFrequency", double(nan)); },
            "time x sampling frequency is not a finite sample index"},
        {"infinite start time", [](Learning& l) { l.parameter("startTime", double(inf)); },
            "time x sampling frequency is not a finite sample index"},
        {"stop time beyond any index", [](Learning& l) { l.parameter("stopTime", 1e300); },
            "time x sampling frequency is not a finite sample index"},
        {"NaN smoothing stop",
            [](Learning& l) {
              l.parameter("smoothingEnable", Boolean(true));
              l.parameter<std::uint32_t>("smoothingTap", 3);
              l.parameter("smoothingStopTime", double(nan));
            },
            "time x sampling frequency is not a finite sample index"},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(c.settings);
      Learning learning;
      learning.started().pulse();
      const auto learned = learning.I();
      const auto writes = learning.tableWrites();
      c.set(learning);
      learning.pulse();
      EXPECT_EQ(learning.message(), refused + c.message);
      EXPECT_EQ(learning.tableWrites(), writes);
      EXPECT_EQ(learning.I(), learned);
    }
  }

  TEST(LearningFeedForward, AModelOrErrorThatGivesValuesThatAreNotFiniteLeavesTheTablesAsTheyWere) {
    struct Case {
      const char* fault;
      std::function<void(Learning&)> set;
      Trace error;
    };
    Trace oneNaN = constant(1.F);
    oneNaN[20] = nan;
    auto longMatrix = [](std::size_t size, std::size_t at, float value) {
      std::vector<float> matrix = everySample({0.F}, size);
      matrix[at] = value;
      return matrix;
    };
    const Case cases[] = {
        {"NaN in omega",
            [](Learning& l) {
              l.setArray(lff + "matrixOmega", {nan, 0.F, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
            },
            constant(1.F)},
        {"NaN in beta at one sample",
            [&](Learning& l) { l.setArray(lff + "matrixBeta", longMatrix(36 * length, 30, nan)); }, constant(1.F)},
        {"infinite gamma", [&](Learning& l) { l.setArray(lff + "matrixGamma", longMatrix(12 * length, 40, inf)); },
            constant(1.F)},
        {"state growing beyond float",
            [](Learning& l) { l.setArray(lff + "matrixBeta", everySample({1e10F}, 36 * length)); }, constant(1.F)},
        {"NaN in one sample of the error trace", [](Learning&) {}, oneNaN},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(c.fault);
      Learning learning;
      learning.started().pulse();
      const auto I = learning.I();
      c.set(learning);
      learning.pulse(c.error, c.error);
      EXPECT_EQ(learning.message(), "learning refused: the model gives values that are not finite");
      EXPECT_TRUE(allFinite(learning.I()));
      EXPECT_TRUE(allFinite(learning.Q()));
      EXPECT_EQ(learning.I(), I);
    }
  }

  TEST(LearningFeedForward, LearningLowersTheErrorOfAPlant) {
    // a first-order plant per component, y[k + 1] = 0.8 y[k] + 0.5 u[k], is to follow a step within the window;
    // the model is the plant's own (beta 0.8 per component), so that the recursion forms the plant's adjoint
    // response to the error and each cycle is a gradient step of 0.3 on the squared error: it never grows
    Learning learning;
    learning.parameter<std::uint32_t>("modelOrder", 2);
    learning.matrices({0.15F, 0.F, 0.F, 0.15F}, {0.8F, 0.F, 0.F, 0.8F}, {1.F, 0.F, 0.F, 1.F});
    learning.started();
    auto errorsOf = [](const Trace& drive, float target) {
      Trace error(length, 0.F);
      float y = 0.F;
      for(std::size_t k = 0; k + 1 < length; ++k) {
        y = 0.8F * y + 0.5F * drive[k];
        if(k + 1 > std::size_t(pulseStart)) error[k + 1] = target - y;
      }
      return error;
    };
    auto windowNorm = [](const Trace& error) {
      double sum = 0.0;
      for(auto k = std::size_t(pulseStart + 1); k <= std::size_t(learningStop); ++k) sum += double(error[k]) * error[k];
      return std::sqrt(sum);
    };
    auto errorI = errorsOf(learning.I(), 10.F);
    auto errorQ = errorsOf(learning.Q(), -5.F);
    const double initial = windowNorm(errorI) + windowNorm(errorQ);
    double previous = initial;
    for(int pulse = 0; pulse < 30; ++pulse) {
      learning.pulse(errorI, errorQ);
      ASSERT_EQ(learning.message(), "ok");
      errorI = errorsOf(learning.I(), 10.F);
      errorQ = errorsOf(learning.Q(), -5.F);
      const double now = windowNorm(errorI) + windowNorm(errorQ);
      EXPECT_LE(now, previous) << "pulse " << pulse;
      previous = now;
    }
    EXPECT_LT(previous, initial / 20.0) << initial << " -> " << previous;
  }

} // namespace
