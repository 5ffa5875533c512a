// llrf::RotationParameter: the variable layout in its three forms, and the module at work:
// tables from scale, angle and the enabled cascades, rotation commands written back to the
// angle, and refused inputs returned to their last valid values.
#include "RotationParameter.h"

#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <Corvane/VariableTags.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <set>

using namespace Corvane;

namespace {

  struct Layout {
    std::uint32_t tableSize;
    bool flag;
  };

  struct RotationApp : Application {
    explicit RotationApp(Layout layout)
    : Application("rotationApp"), rotation(this, "Rot", "A rotation", layout.tableSize, 90.0, -1.0, layout.flag) {}
    llrf::RotationParameter rotation;
  };

  std::map<std::string, std::unordered_set<std::string>> tagsByPath(const EntityOwner& root) {
    std::map<std::string, std::unordered_set<std::string>> result;
    for(auto& n : root.getAccessorListRecursive()) result[n.getPath()] = n.getTags();
    return result;
  }

  std::set<std::string> pathsOf(const std::map<std::string, std::unordered_set<std::string>>& vars) {
    std::set<std::string> paths;
    for(auto& [p, t] : vars) paths.insert(p);
    return paths;
  }

  const std::set<std::string> basePaths{
      "/Rot/scale", "/Rot/angle", "/Rot/performPhaseRotation", "/Rot/sineTable", "/Rot/cosineTable"};

  TEST(RotationParameter, SingleElementWithoutCascadeHasFiveVariables) {
    RotationApp app({1, false});
    auto vars = tagsByPath(app);
    EXPECT_EQ(pathsOf(vars), basePaths);
    EXPECT_FALSE(app.rotation.firstCascadeInUse);
    EXPECT_FALSE(app.rotation.secondCascadeInUse);
    EXPECT_EQ(app.rotation.output.sineTable.getNElements(), 1u);
    EXPECT_EQ(vars["/Rot/scale"], std::unordered_set<std::string>{"DAQ"});
    EXPECT_EQ(vars["/Rot/angle"], std::unordered_set<std::string>{"DAQ"});
    // a command, not a setting: it is not persisted
    EXPECT_EQ(vars["/Rot/performPhaseRotation"], std::unordered_set<std::string>{Corvane::Tags::command});
    EXPECT_TRUE(vars["/Rot/sineTable"].empty());
  }

  TEST(RotationParameter, CascadeFlagAddsOvcAndAutomationInputs) {
    RotationApp app({1, true});
    auto vars = tagsByPath(app);
    auto expected = basePaths;
    for(auto* c : {"CascadeInputOVC", "CascadeInputAutomation"}) {
      for(auto* v : {"enable", "scale", "angle"}) expected.insert(std::string("/Rot/") + c + "/" + v);
    }
    EXPECT_EQ(pathsOf(vars), expected);
    EXPECT_EQ(vars.size(), 11u);
    EXPECT_EQ(vars["/Rot/CascadeInputOVC/scale"], std::unordered_set<std::string>{"DAQ"});
    EXPECT_EQ(vars["/Rot/CascadeInputOVC/enable"], std::unordered_set<std::string>{"DAQ"});
    EXPECT_TRUE(vars["/Rot/CascadeInputAutomation/angle"].empty());
    EXPECT_TRUE(vars["/Rot/CascadeInputAutomation/enable"].empty());
    EXPECT_EQ(app.rotation.firstCascade.getDescription(), "CascadeInput for OVC algorithm");
    EXPECT_EQ(app.rotation.secondCascade.getDescription(), "CascadeInput for Automation");
  }

  TEST(RotationParameter, LargerTablesShareTheCommonCalibrationWhateverTheFlag) {
    for(bool flag : {false, true}) {
      RotationApp app({4, flag});
      auto vars = tagsByPath(app);
      auto expected = basePaths;
      expected.insert({"/Rot/CommonCalibration/enable", "/Configuration/CommonCalibration/scale",
          "/Configuration/CommonCalibration/angle", "/Rot/Cascade/enable", "/Rot/Cascade/scale", "/Rot/Cascade/angle"});
      EXPECT_EQ(pathsOf(vars), expected) << "flag " << flag;
      EXPECT_EQ(vars["/Configuration/CommonCalibration/scale"], std::unordered_set<std::string>{"DAQ"});
      EXPECT_EQ(app.rotation.output.cosineTable.getNElements(), 4u);
      EXPECT_TRUE(app.rotation.firstCascadeInUse && app.rotation.secondCascadeInUse);
    }
  }

  class RotationRun : public ::testing::Test {
   protected:
    void start(Layout layout) {
      app = std::make_unique<RotationApp>(layout);
      test = std::make_unique<TestFacility>(*app);
      test->runApplication();
    }
    void TearDown() override {
      test.reset();
      app.reset();
    }
    void expectTables(const std::vector<float>& cosine, const std::vector<float>& sine) {
      auto c = test->readArray<float>("/Rot/cosineTable");
      auto s = test->readArray<float>("/Rot/sineTable");
      ASSERT_EQ(c.size(), cosine.size());
      ASSERT_EQ(s.size(), sine.size());
      for(std::size_t k = 0; k < c.size(); ++k) {
        EXPECT_NEAR(c[k], cosine[k], 1e-6) << "cosine " << k;
        EXPECT_NEAR(s[k], sine[k], 1e-6) << "sine " << k;
      }
    }
    std::unique_ptr<RotationApp> app;
    std::unique_ptr<TestFacility> test;
  };

  TEST_F(RotationRun, TablesFollowScaleAngleAndPhaseStep) {
    start({4, false});
    test->writeScalar<double>("/Rot/scale", 2.0);
    test->stepApplication();
    // the kernel cos(k 90 deg) + i sinSign sin(k 90 deg) with sinSign -1, scaled
    expectTables({2, 0, -2, 0}, {0, -2, 0, 2});
    // and turned positively by the angle: 2 e^(i (90 - k 90) deg)
    test->writeScalar<double>("/Rot/angle", 90.0);
    test->stepApplication();
    expectTables({0, 2, 0, -2}, {2, 0, -2, 0});
  }

  TEST_F(RotationRun, EnabledCascadesScaleAndRotate) {
    start({1, true});
    test->writeScalar<double>("/Rot/scale", 2.0);
    test->writeScalar<double>("/Rot/CascadeInputOVC/scale", 0.5);
    test->writeScalar<double>("/Rot/CascadeInputOVC/angle", 60.0);
    test->stepApplication();
    expectTables({2}, {0}); // not enabled yet
    test->writeScalar<std::int32_t>("/Rot/CascadeInputOVC/enable", 1);
    test->stepApplication();
    expectTables({float(std::cos(M_PI / 3))}, {float(std::sin(M_PI / 3))});
    test->writeScalar<double>("/Rot/CascadeInputAutomation/scale", 1.0);
    test->writeScalar<double>("/Rot/CascadeInputAutomation/angle", 30.0);
    test->writeScalar<std::int32_t>("/Rot/CascadeInputAutomation/enable", 1);
    test->stepApplication();
    expectTables({0}, {1});
  }

  TEST_F(RotationRun, RotationCommandAddsToTheAngleAndWritesItBack) {
    start({1, false});
    test->writeScalar<double>("/Rot/scale", 1.0);
    test->writeScalar<double>("/Rot/angle", 170.0);
    test->stepApplication();
    test->writeScalar<double>("/Rot/performPhaseRotation", 20.0);
    test->stepApplication();
    EXPECT_DOUBLE_EQ(test->readScalar<double>("/Rot/angle"), -170.0);
    expectTables({float(std::cos(-170 * M_PI / 180))}, {float(std::sin(-170 * M_PI / 180))});
  }

  TEST_F(RotationRun, NonFiniteInputsAreRefusedAndTheLastValidOnesReturn) {
    start({1, false});
    test->writeScalar<double>("/Rot/scale", 1.5);
    test->stepApplication();
    test->writeScalar<double>("/Rot/scale", std::numeric_limits<double>::quiet_NaN());
    test->stepApplication();
    EXPECT_DOUBLE_EQ(test->readScalar<double>("/Rot/scale"), 1.5);
    expectTables({1.5}, {0});
    test->writeScalar<double>("/Rot/performPhaseRotation", std::numeric_limits<double>::infinity());
    test->stepApplication();
    EXPECT_DOUBLE_EQ(test->readScalar<double>("/Rot/angle"), 0.0);
    expectTables({1.5}, {0});
  }

} // namespace
