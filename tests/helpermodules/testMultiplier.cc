// Multiplier: start value, updates on input and factor, composed factor unit, placement by the
// names given, and products that do not fit the output type.
#include "TempConfig.h"

#include <Corvane/Corvane.h>
#include <Corvane/Multiplier.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

using namespace Corvane;

namespace {

  const std::string description = "Bit scaling factor with cavity length scaling, as used for the individual cavity signals.";

  struct ScalingApp : Application {
    ScalingApp() : Application("multiplierTest") {}
    Multiplier<double> bitScaling{this, "Configuration/bitScaling", "digits/G.U.", "Configuration/lengthScale",
        "Configuration/bitScalingLengthScaled", "digits/G.U.L.S.", description, {}, {}, {}};
  };

  const std::string inputPath = "/Configuration/bitScaling";
  const std::string factorPath = "/Configuration/lengthScale";
  const std::string outputPath = "/Configuration/bitScalingLengthScaled";

} // namespace

TEST(Multiplier, WritesTheProductAtStartAndOnEveryChange) {
  ScalingApp app;
  TestFacility test(app);
  test.setScalarDefault<double>(inputPath, 2000.);
  test.setScalarDefault<double>(factorPath, 0.5);
  test.runApplication();
  EXPECT_DOUBLE_EQ(test.readScalar<double>(outputPath), 1000.);
  EXPECT_EQ(test.updateCount(outputPath), 1u);

  struct Change {
    std::string path;
    double value;
    double product;
  };
  std::vector<Change> changes{{inputPath, 3000., 1500.}, {factorPath, 2., 6000.}, {factorPath, -1.25, -3750.},
      {inputPath, 0., 0.}, {inputPath, 0., 0.}};
  std::uint64_t writes = 1;
  for(const auto& change : changes) {
    test.writeScalar<double>(change.path, change.value);
    test.stepApplication();
    EXPECT_DOUBLE_EQ(test.readScalar<double>(outputPath), change.product) << change.path << " = " << change.value;
    // written on every update, also when the product stays the same
    EXPECT_EQ(test.updateCount(outputPath), ++writes);
  }
}

TEST(Multiplier, UnitsAndDescriptions) {
  ScalingApp app;
  // visible before the application is connected, as the unit substitution of the application needs
  auto accessors = app.bitScaling.getAccessorListRecursive();
  ASSERT_EQ(accessors.size(), 3u);
  for(auto& node : accessors) EXPECT_EQ(node.getDescription(), description) << node.getPath();
  EXPECT_EQ(app.bitScaling.input.getUnit(), "digits/G.U.");
  EXPECT_EQ(app.bitScaling.factor.getUnit(), "(digits/G.U.L.S.)/(digits/G.U.)");
  EXPECT_EQ(app.bitScaling.output.getUnit(), "digits/G.U.L.S.");

  TestFacility test(app);
  test.runApplication();
  auto& cs = app.getControlSystem();
  EXPECT_EQ(cs.variable(factorPath).unit(), "(digits/G.U.L.S.)/(digits/G.U.)");
  EXPECT_EQ(cs.variable(outputPath).unit(), "digits/G.U.L.S.");
  EXPECT_FALSE(cs.variable(outputPath).isWritable());
}

TEST(Multiplier, ModuleAddsNoLevelOfItsOwn) {
  struct Group : ModuleGroup {
    using ModuleGroup::ModuleGroup;
    Multiplier<float, double, 2> gain{this, "raw", "V", "Settings/gain", "/calibrated", "mV", "calibration",
        {"RAW"}, {}, {"DAQ"}};
  };
  struct App : Application {
    App() : Application("placementTest") {}
    Group group{this, "Board", "a board"};
  } app;
  TestFacility test(app);
  test.setArrayDefault<float>("/Board/raw", {1.5f, -2.f});
  test.setScalarDefault<double>("/Board/Settings/gain", 1000.);
  test.runApplication();
  EXPECT_EQ(test.readArray<float>("/calibrated"), (std::vector<float>{1500.f, -2000.f}));
  auto& cs = app.getControlSystem();
  EXPECT_TRUE(cs.variable("/Board/raw").tags().count("RAW"));
  EXPECT_TRUE(cs.variable("/calibrated").tags().count("DAQ"));
  EXPECT_EQ(cs.variable("/Board/Settings/gain").unit(), "(mV)/(V)");
}

TEST(Multiplier, ProductsAreRoundedAndClampedToTheOutputType) {
  using M = Multiplier<std::int16_t, double>;
  struct Case {
    std::int16_t value;
    double factor;
    std::int16_t product;
    bool unrepresentable;
  };
  std::vector<Case> cases{{100, 2.5, 250, false}, {3, 0.5, 2, false}, {-3, 0.5, -2, false},
      {20000, 2., 32767, false}, {20000, -2., -32768, false}, {1, NAN, 0, true},
      {1, INFINITY, 32767, false}};
  for(const auto& c : cases) {
    bool unrepresentable = false;
    EXPECT_EQ(M::multiply(c.value, c.factor, unrepresentable), c.product) << c.value << " * " << c.factor;
    EXPECT_EQ(unrepresentable, c.unrepresentable) << c.value << " * " << c.factor;
  }
  // integer products are computed wide enough: no wrap-around
  bool unused = false;
  EXPECT_EQ((Multiplier<std::int32_t>::multiply(100000, 100000, unused)), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ((Multiplier<std::int64_t>::multiply(std::numeric_limits<std::int64_t>::max(), -3, unused)),
      std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ((Multiplier<std::uint64_t>::multiply(std::numeric_limits<std::uint64_t>::max(), 3, unused)),
      std::numeric_limits<std::uint64_t>::max());
}

TEST(Multiplier, UnrepresentableProductIsFaultyUntilTheNextGoodOne) {
  struct App : Application {
    App() : Application("faultyProductTest") {}
    Multiplier<std::int32_t, double> scaled{this, "in", "", "factor", "out", "", ""};
  } app;
  TestFacility test(app);
  test.setScalarDefault<std::int32_t>("/in", 4);
  test.setScalarDefault<double>("/factor", 1.5);
  test.runApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>("/out"), 6);
  EXPECT_EQ(test.getValidity("/out"), DataValidity::ok);

  test.writeScalar<double>("/factor", NAN);
  test.stepApplication();
  EXPECT_EQ(test.getValidity("/out"), DataValidity::faulty);

  test.writeScalar<double>("/factor", 0.25);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>("/out"), 1);
  EXPECT_EQ(test.getValidity("/out"), DataValidity::ok);
}

TEST(Multiplier, FedByConfigurationValues) {
  helpermodules::TempConfig config(R"(  <module name="Configuration">
    <variable name="bitScaling" type="double" value="4096"/>
    <variable name="lengthScale" type="double" value="1.038"/>
  </module>
)");
  struct App : Application {
    explicit App(const std::string& file) : Application("configuredMultiplierTest"), config(this, ".", file) {}
    ConfigReader config;
    Multiplier<double> bitScaling{this, "Configuration/bitScaling", "digits/G.U.", "Configuration/lengthScale",
        "Configuration/bitScalingLengthScaled", "digits/G.U.L.S.", description};
  } app(config.file());
  TestFacility test(app);
  test.runApplication();
  EXPECT_DOUBLE_EQ(test.readScalar<double>(outputPath), 4096. * 1.038);
  EXPECT_EQ(test.updateCount(outputPath), 1u);
}
