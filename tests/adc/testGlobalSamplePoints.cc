// The sample-point group template on its own: where its variables lie for plain and nested names, and the
// further constructor arguments handed on to the sample group.
#include "GlobalSamplePoints.h"

#include <Corvane/Application.h>
#include <Corvane/ApplicationModule.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

  struct Pair : Corvane::VariableGroup {
    Pair(Corvane::VariableGroup* owner, const std::string& name, const std::string& description, bool withSecond)
    : Corvane::VariableGroup(owner, name, description) {
      if(withSecond) second = Corvane::ScalarOutput<float>(this, "second", "", "");
    }
    Pair(Pair&&) noexcept = default;
    Pair& operator=(Pair&&) noexcept = default;
    Corvane::ScalarOutput<float> first{this, "first", "", ""};
    Corvane::ScalarOutput<float> second;
  };

  struct Sampler : Corvane::ApplicationModule {
    Sampler(Corvane::Module* owner, const std::string& name, const std::string& pointsName, bool withSecond)
    : ApplicationModule(owner, name, ""), points(this, pointsName, "", {}, withSecond) {}
    Corvane::ScalarPushInput<std::int32_t> trigger{this, "trigger", "", ""};
    GlobalSamplePoints<Pair> points;
    std::vector<float> values{0.F, 10.F, 20.F, 30.F};
    void mainLoop() override {
      while(true) {
        points.update(values.size(), [this](const GlobalSamplePoints<Pair>::Position& position, Pair& pair) {
          pair.first = values[position.sampleIndex];
          pair.second = -values[position.sampleIndex];
        });
        readAll();
      }
    }
  };

  struct SamplerApp : Corvane::Application {
    SamplerApp() : Corvane::Application("samplepoints") {}
    Sampler plain{this, "Plain", "Samples", true};
    Sampler nested{this, "Nested", "Sub/Points", false};
  };

} // namespace

TEST(GlobalSamplePoints, VariablesLieWhereTheNameSays) {
  SamplerApp app;
  Corvane::TestFacility test(app);
  test.setScalarDefault<std::uint32_t>("/Configuration/SamplingPosition/index", 2);
  test.setScalarDefault<double>("/Configuration/samplingFrequency", 4.0);
  test.runApplication();
  const auto& variables = app.getControlSystem().variables();
  for(const char* path : {"/Plain/samplingOffset", "/Plain/Samples/first", "/Plain/Samples/second",
          "/Nested/Sub/samplingOffset", "/Nested/Sub/Points/first"}) {
    EXPECT_TRUE(variables.count(path)) << path;
  }
  EXPECT_FALSE(variables.count("/Nested/Sub/Points/second"));
  EXPECT_EQ(test.readScalar<float>("/Plain/Samples/first"), 20.F);
  EXPECT_EQ(test.readScalar<float>("/Plain/Samples/second"), -20.F);
  EXPECT_EQ(test.readScalar<float>("/Nested/Sub/Points/first"), 20.F);

  // -0.25 us at 4 MHz is one sample back, only for the channel that has the offset.
  test.writeScalar<double>("/Plain/samplingOffset", -0.25);
  test.writeScalar<std::int32_t>("/Plain/trigger", 1);
  test.writeScalar<std::int32_t>("/Nested/trigger", 1);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<float>("/Plain/Samples/first"), 10.F);
  EXPECT_EQ(test.readScalar<float>("/Nested/Sub/Points/first"), 20.F);
  EXPECT_EQ(app.plain.points.positions.at(0).sampleIndex, 1u);
}
