// ScalarPipe: every received value reaches the output unchanged, with its version and validity,
// and the output carries its own tags (the slave-readiness status of the controller).
#include <Corvane/Corvane.h>
#include <Corvane/ScalarPipe.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

using namespace Corvane;

namespace {

  struct FromSlave : ModuleGroup {
    using ModuleGroup::ModuleGroup;
    ScalarPipe<std::int32_t> pipe{this, ".", "slaveLlrfReady", "slaveLlrfReadyStatus", "", "", {},
        {"_Corvane_StatusOutput_statusOutput"}};
  };

  struct PipeApp : Application {
    PipeApp() : Application("pipeTest") {}
    FromSlave fromSlave{this, "Controller", ""};
  };

  const std::string pipeInput = "/Controller/slaveLlrfReady";
  const std::string pipeOutput = "/Controller/slaveLlrfReadyStatus";

} // namespace

TEST(ScalarPipe, ForwardsEveryValueUnchanged) {
  PipeApp app;
  TestFacility test(app);
  test.setScalarDefault<std::int32_t>(pipeInput, 2);
  test.runApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>(pipeOutput), 2);
  EXPECT_EQ(test.updateCount(pipeOutput), 1u);

  std::uint64_t writes = 1;
  for(std::int32_t value : {1, 1, 3, 0, -7, 2147483647}) {
    VersionNumber version;
    test.writeScalar<std::int32_t>(pipeInput, value, version);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<std::int32_t>(pipeOutput), value);
    EXPECT_EQ(test.getVersion(pipeOutput), version) << value;
    // a repeated value is forwarded too
    EXPECT_EQ(test.updateCount(pipeOutput), ++writes) << value;
  }
}

TEST(ScalarPipe, ForwardsValidity) {
  PipeApp app;
  TestFacility test(app);
  test.runApplication();
  test.variable(pipeInput).set(std::vector<std::int32_t>{1}, {}, DataValidity::faulty);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>(pipeOutput), 1);
  EXPECT_EQ(test.getValidity(pipeOutput), DataValidity::faulty);
  test.writeScalar<std::int32_t>(pipeInput, 0);
  test.stepApplication();
  EXPECT_EQ(test.getValidity(pipeOutput), DataValidity::ok);
}

TEST(ScalarPipe, TagsAndMetadata) {
  struct App : Application {
    App() : Application("pipeTagsTest") {}
    ScalarPipe<double> pipe{this, "Pipe", "in", "/out", "mV", "forwarded level", {"IN"}, {"OUT"}};
  } app;
  TestFacility test(app);
  test.runApplication();
  auto& cs = app.getControlSystem();
  EXPECT_TRUE(cs.variable("/Pipe/in").tags().count("IN"));
  EXPECT_FALSE(cs.variable("/Pipe/in").tags().count("OUT"));
  EXPECT_TRUE(cs.variable("/out").tags().count("OUT"));
  EXPECT_FALSE(cs.variable("/out").tags().count("IN"));
  EXPECT_EQ(cs.variable("/out").unit(), "mV");
  EXPECT_EQ(cs.variable("/out").description(), "forwarded level");
  test.writeScalar<double>("/Pipe/in", 0.125);
  test.stepApplication();
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/out"), 0.125);
}
