// The MIMO and Smith-predictor coefficient sets: names and places of the twenty coefficients, an apply that
// reaches the board framed by "valid", the set restored at start, outside writes to "Actual" undone, and
// sets with values the board cannot take refused whole.
#include "ControllerFixture.h"

#include <Corvane/LogCapture.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace controllerdaq;

namespace {

  const std::string mimo = "/Controller/FeedBack/MimoCoefficients/";
  const std::string mimoRegisters = "ToControlSystem.Controller.FeedBack.MimoCoefficients.";

  std::vector<float> registerValues(RunningController& c, const std::string& name) {
    return c.dummy->getRegister<float>(mimoRegisters + name);
  }

  /// Coefficient k gets k + 0.1 (not exact in float, so double and single precision differ).
  double valueOf(std::size_t k) { return static_cast<double>(k) + 0.1; }

  void writeInputs(RunningController& c) {
    for(std::size_t k = 0; k < ControllerCoefficients::nCoefficients; ++k) {
      c.test.writeScalar<double>(mimo + ControllerCoefficients::coefficientName(k), valueOf(k));
    }
    c.test.stepApplication();
  }

  void apply(RunningController& c, std::int32_t value = 0) {
    c.test.writeScalar<std::int32_t>(mimo + "apply", value);
    c.test.stepApplication();
  }

  /// The firmware arrays as the board holds them, in coefficient order.
  std::vector<float> boardSet(RunningController& c) {
    std::vector<float> set;
    for(const char* element : {"11", "12", "21", "22"}) {
      for(float v : registerValues(c, std::string("A") + element)) set.push_back(v);
      for(float v : registerValues(c, std::string("B") + element)) set.push_back(v);
    }
    return set;
  }

  std::vector<double> actualSet(RunningController& c) {
    std::vector<double> set;
    for(std::size_t k = 0; k < ControllerCoefficients::nCoefficients; ++k) {
      set.push_back(c.test.readScalar<double>(mimo + "Actual/" + ControllerCoefficients::coefficientName(k)));
    }
    return set;
  }

} // namespace

TEST(ControllerCoefficients, TwentyCoefficientsInMatrixOrder) {
  const std::vector<std::string> expected{"A11_1", "A11_2", "B11_0", "B11_1", "B11_2", "A12_1", "A12_2", "B12_0",
      "B12_1", "B12_2", "A21_1", "A21_2", "B21_0", "B21_1", "B21_2", "A22_1", "A22_2", "B22_0", "B22_1", "B22_2"};
  for(std::size_t k = 0; k < expected.size(); ++k) {
    EXPECT_EQ(ControllerCoefficients::coefficientName(k), expected[k]);
  }
  EXPECT_EQ(ControllerCoefficients::coefficientDescription(1), "Coefficient A11[2]");
  EXPECT_EQ(ControllerCoefficients::coefficientDescription(17), "Coefficient B22[0]");
}

TEST(ControllerCoefficients, ApplyLoadsTheInputsIntoTheBoard) {
  RunningController controller;
  controller.start();
  const auto validWrites = controller.test.updateCount(mimo + "valid");
  writeInputs(controller);
  // edited inputs change nothing until they are applied
  EXPECT_EQ(boardSet(controller), std::vector<float>(20, 0.F));
  EXPECT_EQ(actualSet(controller), std::vector<double>(20, 0.0));

  apply(controller, 0); // the value written does not matter
  std::vector<float> expectedBoard;
  std::vector<double> expectedActual;
  for(std::size_t k = 0; k < 20; ++k) {
    expectedBoard.push_back(static_cast<float>(valueOf(k)));
    expectedActual.push_back(valueOf(k)); // full double precision
  }
  EXPECT_EQ(boardSet(controller), expectedBoard);
  EXPECT_EQ(actualSet(controller), expectedActual);
  // an A array's element 0 holds coefficient 1, a B array's element k coefficient k
  EXPECT_EQ(registerValues(controller, "A11"), (std::vector<float>{0.1F, 1.1F}));
  EXPECT_EQ(registerValues(controller, "B22"), (std::vector<float>{17.1F, 18.1F, 19.1F}));
  // "valid" went false before the arrays, again false with them (one group write), then true
  EXPECT_EQ(controller.test.updateCount(mimo + "valid"), validWrites + 3);
  EXPECT_EQ(controller.dummy->getRegister<std::uint32_t>(mimoRegisters + "valid"), std::vector<std::uint32_t>{1});
  // the other set is untouched
  EXPECT_EQ(controller.dummy->getRegister<float>("ToControlSystem.Controller.FeedBack.SmithCoefficients.A11"),
      (std::vector<float>{0.F, 0.F}));
}

TEST(ControllerCoefficients, UnfitValuesAreRefusedWhole) {
  for(double unfit : {1e39, -1e39, std::nan(""), std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(unfit);
    RunningController controller;
    controller.start();
    writeInputs(controller);
    apply(controller);
    const auto board = boardSet(controller);
    const auto actual = actualSet(controller);
    const auto validWrites = controller.test.updateCount(mimo + "valid");

    Corvane::LogCapture log;
    for(std::size_t k = 0; k < 20; ++k) {
      controller.test.writeScalar<double>(mimo + ControllerCoefficients::coefficientName(k), 100.0 + k);
    }
    controller.test.writeScalar<double>(mimo + "B21_1", unfit);
    apply(controller);
    EXPECT_EQ(boardSet(controller), board);
    EXPECT_EQ(actualSet(controller), actual);
    EXPECT_EQ(controller.test.updateCount(mimo + "valid"), validWrites);
    EXPECT_EQ(log.warningsContaining("apply refused, B21_1 is").size(), 1u);

    // the largest single-precision value itself is fine
    controller.test.writeScalar<double>(mimo + "B21_1", std::numeric_limits<float>::max());
    apply(controller);
    EXPECT_EQ(registerValues(controller, "B21")[1], std::numeric_limits<float>::max());
  }
}

TEST(ControllerCoefficients, TheRestoredSetIsLoadedAtStart) {
  RunningController controller;
  controller.test.setScalarDefault<double>(mimo + "Actual/A11_2", 2.5);
  controller.test.setScalarDefault<double>(mimo + "A11_2", 7.0); // an input that was never applied
  controller.start();
  EXPECT_EQ(registerValues(controller, "A11"), (std::vector<float>{0.F, 2.5F}));
  EXPECT_EQ(controller.dummy->getRegister<std::uint32_t>(mimoRegisters + "valid"), std::vector<std::uint32_t>{1});
}

TEST(ControllerCoefficients, AnUnfitRestoredSetIsNotLoaded) {
  Corvane::LogCapture log;
  RunningController controller;
  controller.test.setScalarDefault<double>(mimo + "Actual/A11_2", 2.5);
  controller.test.setScalarDefault<double>(mimo + "Actual/B12_0", 1e39);
  controller.start();
  EXPECT_EQ(registerValues(controller, "A11"), (std::vector<float>{0.F, 0.F}));
  EXPECT_EQ(registerValues(controller, "B12"), (std::vector<float>{0.F, 0.F, 0.F}));
  EXPECT_EQ(log.warningsContaining("the restored coefficients are not loaded, B12_0 is 1e+39").size(), 1u);
  // a valid apply afterwards loads normally
  writeInputs(controller);
  apply(controller);
  EXPECT_EQ(registerValues(controller, "B12")[0], 7.1F);
}

TEST(ControllerCoefficients, AnOutsideWriteToActualIsUndone) {
  RunningController controller;
  controller.start();
  writeInputs(controller);
  apply(controller);
  const auto board = boardSet(controller);
  controller.test.writeScalar<double>(mimo + "Actual/B11_1", 42.0);
  controller.test.stepApplication();
  EXPECT_EQ(boardSet(controller), board);
  // the mirror shows what the board runs: the single-precision values
  for(std::size_t k = 0; k < 20; ++k) {
    EXPECT_EQ(controller.test.readScalar<double>(mimo + "Actual/" + ControllerCoefficients::coefficientName(k)),
        static_cast<double>(static_cast<float>(valueOf(k))))
        << k;
  }
}
