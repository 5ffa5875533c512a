// The shared variable groups: names, types, units and descriptions as readers and writers
// expect them, the ownerless amplitude/phase pair, and cascaded rotation feeding a cascade input.
#include "AmplitudePhase.h"
#include "CascadedRotation.h"
#include "DaqChannelSamples.h"

#include <Corvane/Corvane.h>

#include <gtest/gtest.h>

#include <map>

using namespace Corvane;

namespace {

  struct Declared {
    std::string unit;
    std::string description;
    DataType type;
    bool feeding;
  };

  std::map<std::string, Declared> declared(const EntityOwner& root) {
    std::map<std::string, Declared> result;
    for(auto& n : root.getAccessorListRecursive()) {
      result[n.getPath()] = {n.getUnit(), n.getDescription(), n.getValueType(),
          n.getDirection().dir == VariableDirection::feeding};
    }
    return result;
  }

  struct Reader : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    DaqChannelSamples<ScalarPushInput> vectorSum{this, "VectorSum", "Calibrated vector sum"};
    AmplitudePhase<ScalarPushInput, double> setPoint{this, "SetPoint", "Gradient set point"};
    void mainLoop() override {}
  };

  struct Writer : ApplicationModule {
    Writer(Module* owner, const std::string& name, bool publishPair) : ApplicationModule(owner, name, "") {
      if(publishPair) pair = AmplitudePhase<ScalarOutput, float>(this, ".", "");
    }
    ScalarOutput<float> I{this, "I", "G.U.", "Calibrated value in I"};
    AmplitudePhase<ScalarOutput, float> pair;
    CascadedRotation<ScalarOutput> cascade{this, "CascadeInputAutomation", "The resulting scaling and angle correction"};
    void mainLoop() override {}
  };

  struct TemplatesApp : Application {
    explicit TemplatesApp(bool publishPair) : Application("templatesApp"), writer(this, "Writer", publishPair) {}
    Reader reader{this, "Reader", ""};
    Writer writer;
  };

  TEST(Templates, DaqChannelSamplesDeclaresExactlyEightFloatsBelowItsName) {
    TemplatesApp app(false);
    auto vars = declared(app.reader);
    std::map<std::string, std::pair<std::string, std::string>> expected{
        {"/Reader/VectorSum/DAQ/Samples/I", {"G.U.", "Calibrated value in I"}},
        {"/Reader/VectorSum/DAQ/Samples/Q", {"G.U.", "Calibrated value in Q"}},
        {"/Reader/VectorSum/DAQ/Samples/amplitude", {"G.U.", "Amplitude"}},
        {"/Reader/VectorSum/DAQ/Samples/phase", {"deg", "Phase"}},
        {"/Reader/VectorSum/DAQ/Statistics/IAverage", {"G.U.", "Calibrated value in I averaged over the full pulse"}},
        {"/Reader/VectorSum/DAQ/Statistics/QAverage", {"G.U.", "Calibrated value in Q averaged over the full pulse"}},
        {"/Reader/VectorSum/DAQ/Statistics/amplitudeAverage", {"G.U.", "Amplitude averaged over the full pulse"}},
        {"/Reader/VectorSum/DAQ/Statistics/phase", {"deg", "Phase averaged over the full pulse"}},
    };
    std::size_t belowVectorSum = 0;
    for(auto& [path, d] : vars) {
      if(path.rfind("/Reader/VectorSum/", 0) != 0) continue;
      ++belowVectorSum;
      ASSERT_TRUE(expected.count(path)) << "unexpected " << path;
      EXPECT_EQ(d.unit, expected[path].first) << path;
      EXPECT_EQ(d.description, expected[path].second) << path;
      EXPECT_EQ(d.type, DataType::float32) << path;
      EXPECT_FALSE(d.feeding) << path;
    }
    EXPECT_EQ(belowVectorSum, 8u);
    EXPECT_EQ(app.reader.vectorSum.daq.getDescription(), "DAQ data from controller on FPGA");
  }

  TEST(Templates, AmplitudePhasePairLiesBesideItsOwnersVariablesOrNowhere) {
    for(bool publish : {true, false}) {
      TemplatesApp app(publish);
      auto vars = declared(app.writer);
      EXPECT_EQ(vars.count("/Writer/amplitude"), publish ? 1u : 0u);
      EXPECT_EQ(vars.count("/Writer/phase"), publish ? 1u : 0u);
      EXPECT_EQ(vars.size(), publish ? 6u : 4u); // I, the pair, the cascade's three
      if(publish) {
        EXPECT_EQ(vars["/Writer/amplitude"].unit, "G.U.");
        EXPECT_EQ(vars["/Writer/phase"].unit, "deg");
        EXPECT_EQ(vars["/Writer/phase"].type, DataType::float32);
      }
    }
    auto reader = declared(TemplatesApp(false).reader);
    EXPECT_EQ(reader["/Reader/SetPoint/amplitude"].type, DataType::float64);
    EXPECT_EQ(reader["/Reader/SetPoint/amplitude"].description, "Amplitude");
  }

  TEST(Templates, CascadedRotationHasTheTypesOfACascadeInput) {
    TemplatesApp app(false);
    auto vars = declared(app.writer);
    EXPECT_EQ(vars["/Writer/CascadeInputAutomation/scale"].type, DataType::float64);
    EXPECT_EQ(vars["/Writer/CascadeInputAutomation/scale"].description, "Relative amplitude scaling factor");
    EXPECT_EQ(vars["/Writer/CascadeInputAutomation/angle"].type, DataType::float64);
    EXPECT_EQ(vars["/Writer/CascadeInputAutomation/angle"].unit, "deg");
    EXPECT_EQ(vars["/Writer/CascadeInputAutomation/enable"].type, DataType::int32);
    EXPECT_EQ(vars["/Writer/CascadeInputAutomation/enable"].description, "Enable the cascaded input");
  }

} // namespace
