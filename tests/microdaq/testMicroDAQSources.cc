// Which variables a MicroDAQ records and under which names: the mapping of stored names onto
// HDF5 groups, sources added by path (device registers), and the errors of wrong additions.
#include "DaqTestSupport.h"

#include <Corvane/DaqLayout.h>

#include <gtest/gtest.h>

#include <functional>

using namespace Corvane;
using namespace daqtest;

namespace {
  DaqVariable variable(const std::string& storedName) { return DaqVariable{"/" + storedName, storedName}; }

  /// "group/dataset" of each variable, groups spelled out from the top.
  std::vector<std::string> locations(const DaqLayout& layout) {
    std::vector<std::string> result;
    for(std::size_t i = 0; i < layout.variables().size(); ++i) {
      std::string where = layout.datasetName(i);
      for(int g = layout.groupOf(i); g >= 0; g = layout.groups()[static_cast<std::size_t>(g)].parent) {
        where = layout.groups()[static_cast<std::size_t>(g)].name + "/" + where;
      }
      result.push_back(where);
    }
    return result;
  }
} // namespace

TEST(DaqLayout, StoredNamesBecomeGroupsAndDatasets) {
  struct Case {
    std::vector<std::string> storedNames;
    std::vector<std::string> locations;
    std::size_t groups;
  };
  const std::vector<Case> cases{
      {{"x"}, {"x"}, 0},
      {{"A/x", "A/B/y", "z"}, {"A/x", "A/B/y", "z"}, 2},
      // a name that is also a directory keeps its value inside its group
      {{"A/B", "A/B/c"}, {"A/B/#value", "A/B/c"}, 2},
      {{"A/B/c", "A/B"}, {"A/B/c", "A/B/#value"}, 2},
      {{"A//x/"}, {"A/x"}, 1},
  };
  for(auto& c : cases) {
    std::vector<DaqVariable> variables;
    for(auto& name : c.storedNames) variables.push_back(variable(name));
    DaqLayout layout(variables);
    EXPECT_EQ(locations(layout), c.locations);
    EXPECT_EQ(layout.groups().size(), c.groups);
    // every group comes after its parent, so they can be created in order
    for(std::size_t g = 0; g < layout.groups().size(); ++g) EXPECT_LT(layout.groups()[g].parent, static_cast<int>(g));
  }
  EXPECT_THROW(DaqLayout({variable("A/x"), variable("A//x")}), Corvane::logic_error);
  EXPECT_THROW(DaqLayout({variable("/")}), Corvane::logic_error);
}

TEST(MicroDAQSources, WrongAdditionsAreConfigurationErrors) {
  struct Case {
    std::string what;
    std::function<void(MicroDAQ<std::int64_t>&)> add;
  };
  const std::vector<Case> cases{
      {"nothing declared at the path", [](auto& daq) { daq.addSource("/Nothing/here"); }},
      {"no data", [](auto& daq) { daq.addSource("/Reg/void", DataType::nodata, 1); }},
      {"no elements", [](auto& daq) { daq.addSource("/Reg/empty", DataType::float32, 0); }},
      {"stored name taken", [](auto& daq) { daq.addSource("/Reg/x", DataType::float32, 1, "Data/scalar"); }},
      {"invalid path", [](auto& daq) { daq.addSource("/Reg/a b", DataType::int32, 1); }},
      {"invalid stored name", [](auto& daq) { daq.addSource("/Reg/y", DataType::int32, 1, "/"); }},
  };
  for(auto& c : cases) {
    SCOPED_TRACE(c.what);
    DaqApp app;
    auto before = app.daq.recordedPaths();
    EXPECT_THROW(c.add(app.daq), Corvane::logic_error);
    EXPECT_EQ(app.daq.recordedPaths(), before);
  }

  MicroDAQ<std::int64_t> placeholder;
  EXPECT_THROW(placeholder.addSource("/Data/untagged"), Corvane::logic_error);

  DaqApp app;
  app.initialise();
  EXPECT_THROW(app.daq.addSource("/Data/untagged"), Corvane::logic_error);
}

TEST(MicroDAQSources, AddedSourcesAreStoredUnderTheirNames) {
  TempDirectory dir;
  {
    DaqApp app;
    // a declared but untagged variable by path, and what a device register would be: a path with
    // no accessor yet, stored below a prefix; a path given twice is recorded once
    app.daq.recordPaths({"/Data/untagged", "/Data/scalar"});
    app.daq.addSource("/Board/Adc/raw", DataType::int16, 3, "AdcBoard0/raw");
    app.daq.addSource("/Board/Adc/raw", DataType::int16, 3, "Elsewhere/raw");
    EXPECT_EQ(app.daq.recordedPaths().size(), 8u);

    TestFacility test(app);
    configure(test, dir.path(), 1, 1);
    test.runApplication();
    test.writeScalar<std::int32_t>("/Data/untagged", 17);
    test.writeArray<std::int16_t>("/Board/Adc/raw", {-3, 0, 3});
    test.stepApplication();
    trigger(test, 1);
  }
  DaqFile file(dir.path() / "MicroDAQ_0.h5");
  EXPECT_EQ(file.values<std::int32_t>("trigger_1/Data/untagged").at(0), 17);
  EXPECT_EQ(file.values<std::int16_t>("trigger_1/AdcBoard0/raw"), (std::vector<std::int16_t>{-3, 0, 3}));
  EXPECT_FALSE(file.exists("trigger_1/Board"));
  EXPECT_FALSE(file.exists("trigger_1/Elsewhere"));
}

namespace {
  struct VoidSources : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    VoidOutput event{this, "/Events/tick", "", "an event without data", {"DAQ"}};
    ScalarPollInput<std::int32_t> value{this, "/Events/value", "", "recorded", {"DAQ"}};
    void mainLoop() override {}
  };

  struct VoidTriggerApp : Application {
    VoidTriggerApp() : Application("voidtrigger") {
      daq = MicroDAQ<Void>(this, "Recorder", "records on an event", "DAQ", "/Events/trigger");
    }
    VoidSources sources{this, "Sources", ""};
    MicroDAQ<Void> daq;
  };
} // namespace

TEST(MicroDAQSources, VoidTriggerCountsAndVoidVariablesAreLeftOut) {
  TempDirectory dir;
  {
    VoidTriggerApp app;
    EXPECT_EQ(app.daq.recordedPaths(), (std::vector<std::string>{"/Events/value"}));
    TestFacility test(app);
    test.setScalarDefault<Boolean>("/Recorder/enable", true);
    test.setScalarDefault<std::string>("/Recorder/directory", dir.path().string());
    test.runApplication();
    for(std::int32_t v : {4, 5, 6}) {
      test.writeScalar<std::int32_t>("/Events/value", v);
      test.writeScalar<Void>("/Events/trigger", Void{});
      test.stepApplication();
    }
  }
  // files are named after the MicroDAQ
  DaqFile file(dir.path() / "Recorder_0.h5");
  EXPECT_EQ(file.triggerNumbers(), (std::vector<std::int64_t>{1, 2, 3}));
  EXPECT_EQ(file.values<std::int32_t>("trigger_3/Events/value").at(0), 6);
}
