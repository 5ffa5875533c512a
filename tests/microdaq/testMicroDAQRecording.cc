// What one trigger record holds: values of every type, validity, versions, trigger numbers, the
// selection by tag, decimation, and the settings that switch recording on and off.
#include "DaqTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>

using namespace Corvane;
using namespace daqtest;

namespace {

  void writeSources(TestFacility& test, double scalar, float offset, const std::string& text, bool flag,
      std::uint16_t counter, DataValidity traceValidity = DataValidity::ok) {
    test.writeScalar<double>("/Data/scalar", scalar);
    std::vector<float> trace(8);
    for(std::size_t i = 0; i < trace.size(); ++i) trace[i] = offset + static_cast<float>(i);
    test.variable("/Data/trace").set(trace, VersionNumber{}, traceValidity);
    test.writeScalar<std::string>("/Data/text", text);
    test.writeScalar<Boolean>("/Data/flag", flag);
    test.writeScalar<std::uint16_t>("/Group/counter", counter);
    test.writeScalar<std::int32_t>("/Data/untagged", 99);
    test.stepApplication();
  }

} // namespace

TEST(MicroDAQRecording, FindsTaggedVariablesWithTheirDeclaredTypes) {
  DaqApp app;
  auto paths = app.daq.recordedPaths();
  std::set<std::string> recorded(paths.begin(), paths.end());
  // tagged directly, through a group, or on the feeding output only; the untagged and the
  // trigger are not recorded, and a path declared twice is one variable
  EXPECT_EQ(recorded, (std::set<std::string>{
                          "/Data/scalar", "/Data/trace", "/Data/text", "/Data/flag", "/Group/counter", "/Produced/value"}));
  EXPECT_EQ(paths.size(), recorded.size());
}

TEST(MicroDAQRecording, RecordsValuesValidityVersionsAndTriggerNumbers) {
  TempDirectory dir;
  VersionNumber firstVersion, thirdVersion;
  {
    DaqApp app;
    TestFacility test(app);
    configure(test, dir.path(), 3, 2);
    test.runApplication();

    writeSources(test, 1.5, 10.f, "first", true, 7);
    trigger(test, 100, firstVersion);
    writeSources(test, -2.25, 20.f, "second", false, 8, DataValidity::faulty);
    trigger(test, 101);
    writeSources(test, 3.0, 30.f, "third", true, 9);
    thirdVersion = VersionNumber{};
    trigger(test, 102, thirdVersion);

    EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/recordedTriggers"), 3u);
    EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/filesWritten"), 1u);
    EXPECT_EQ(test.readScalar<std::int32_t>("/MicroDAQ/status"), StatusOutput::OK);
    EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/droppedTriggers"), 0u);
    // the writer's status carries the version of the trigger it reports on
    EXPECT_EQ(test.getVersion("/MicroDAQ/recordedTriggers"), thirdVersion);
  }

  EXPECT_EQ(dir.files(), (std::set<std::string>{"MicroDAQ_0.h5"}));
  DaqFile file(dir.path() / "MicroDAQ_0.h5");
  EXPECT_EQ(file.triggers(), (std::vector<std::string>{"trigger_100", "trigger_101", "trigger_102"}));
  EXPECT_EQ(file.triggerNumbers(), (std::vector<std::int64_t>{100, 101, 102}));
  EXPECT_EQ(file.attribute<std::int32_t>("/", "layoutVersion"), 1);

  EXPECT_EQ(file.attribute<std::uint64_t>("trigger_100", "version"), firstVersion.value());
  auto stamp = std::chrono::duration_cast<std::chrono::nanoseconds>(firstVersion.getTime().time_since_epoch());
  EXPECT_EQ(file.attribute<std::int64_t>("trigger_100", "timeStamp"), stamp.count());

  EXPECT_DOUBLE_EQ(file.values<double>("trigger_100/Data/scalar").at(0), 1.5);
  EXPECT_EQ(file.rank("trigger_100/Data/scalar"), 0);
  EXPECT_EQ(file.values<float>("trigger_101/Data/trace"), (std::vector<float>{20, 21, 22, 23, 24, 25, 26, 27}));
  EXPECT_EQ(file.rank("trigger_101/Data/trace"), 1);
  EXPECT_EQ(file.text("trigger_101/Data/text"), "second");
  EXPECT_EQ(file.typeClass("trigger_100/Data/flag"), H5T_ENUM);
  EXPECT_EQ(file.flag("trigger_100/Data/flag"), 1);
  EXPECT_EQ(file.flag("trigger_101/Data/flag"), 0);
  EXPECT_EQ(file.values<std::uint16_t>("trigger_102/Group/counter").at(0), 9);
  // the feeder's type, not the double of its other reader
  EXPECT_EQ(file.typeClass("trigger_102/Produced/value"), H5T_INTEGER);
  EXPECT_EQ(file.typeSize("trigger_102/Produced/value"), 2u);
  EXPECT_EQ(file.values<std::int16_t>("trigger_102/Produced/value").at(0), -1234);
  EXPECT_FALSE(file.exists("trigger_100/Data/untagged"));
  EXPECT_FALSE(file.exists("trigger_100/Server"));

  // validity per value and per trigger
  EXPECT_EQ(file.attribute<std::uint8_t>("trigger_100/Data/trace", "valid"), 1);
  EXPECT_EQ(file.attribute<std::uint8_t>("trigger_101/Data/trace", "valid"), 0);
  EXPECT_EQ(file.attribute<std::uint8_t>("trigger_101/Data/scalar", "valid"), 1);
  EXPECT_EQ(file.attribute<std::uint8_t>("trigger_100", "valid"), 1);
  EXPECT_EQ(file.attribute<std::uint8_t>("trigger_101", "valid"), 0);
  // each value keeps its own version, older than the trigger that took it
  EXPECT_LT(file.attribute<std::uint64_t>("trigger_102/Data/scalar", "version"), thirdVersion.value());
  EXPECT_GT(file.attribute<std::uint64_t>("trigger_102/Data/scalar", "version"),
      file.attribute<std::uint64_t>("trigger_101", "version"));
}

TEST(MicroDAQRecording, RepeatedTriggerNumberGetsItsOwnGroup) {
  TempDirectory dir;
  {
    DaqApp app;
    TestFacility test(app);
    configure(test, dir.path(), 3, 1);
    test.runApplication();
    for(std::int64_t number : {5, 5, 5}) trigger(test, number);
  }
  DaqFile file(dir.path() / "MicroDAQ_0.h5");
  EXPECT_EQ(file.triggers(), (std::vector<std::string>{"trigger_5", "trigger_5_2", "trigger_5_3"}));
  EXPECT_EQ(file.triggerNumbers(), (std::vector<std::int64_t>{5, 5, 5}));
}

TEST(MicroDAQRecording, DecimatesArraysAboveTheThreshold) {
  struct Case {
    std::uint32_t factor, threshold;
    std::vector<float> stored;
    std::uint32_t decimationAttribute; // 0: none
  };
  const std::vector<float> all{0, 1, 2, 3, 4, 5, 6, 7};
  const std::array<Case, 5> cases{{
      {0, 0, all, 0},
      {1, 0, all, 0},
      {3, 4, {0, 3, 6}, 3},
      {2, 7, {0, 2, 4, 6}, 2},
      {3, 8, all, 0}, // not longer than the threshold
  }};
  for(auto& c : cases) {
    SCOPED_TRACE("factor " + std::to_string(c.factor) + ", threshold " + std::to_string(c.threshold));
    TempDirectory dir;
    {
      DaqApp app;
      TestFacility test(app);
      configure(test, dir.path(), 1, 1);
      test.setScalarDefault<std::uint32_t>("/MicroDAQ/decimationFactor", c.factor);
      test.setScalarDefault<std::uint32_t>("/MicroDAQ/decimationThreshold", c.threshold);
      test.runApplication();
      writeSources(test, 2.0, 0.f, "x", false, 1);
      trigger(test, 1);
    }
    DaqFile file(dir.path() / "MicroDAQ_0.h5");
    EXPECT_EQ(file.values<float>("trigger_1/Data/trace"), c.stored);
    EXPECT_EQ(file.hasAttribute("trigger_1/Data/trace", "decimation"), c.decimationAttribute != 0);
    if(c.decimationAttribute) {
      EXPECT_EQ(file.attribute<std::uint32_t>("trigger_1/Data/trace", "decimation"), c.decimationAttribute);
    }
    EXPECT_DOUBLE_EQ(file.values<double>("trigger_1/Data/scalar").at(0), 2.0); // scalars are never decimated
  }
}

TEST(MicroDAQRecording, EnableSwitchesRecordingAndClosesTheFile) {
  TempDirectory dir;
  DaqApp app;
  TestFacility test(app);
  configure(test, dir.path(), 10, 3, false);
  test.runApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>("/MicroDAQ/status"), StatusOutput::OFF);

  trigger(test, 1);
  EXPECT_TRUE(dir.files().empty());
  EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/recordedTriggers"), 0u);

  test.writeScalar<Boolean>("/MicroDAQ/enable", true);
  trigger(test, 2);
  trigger(test, 3);
  EXPECT_EQ(test.readScalar<std::int32_t>("/MicroDAQ/status"), StatusOutput::OK);
  EXPECT_EQ(dir.files(), (std::set<std::string>{"MicroDAQ_0.h5.tmp"}));
  EXPECT_EQ(test.readScalar<std::string>("/MicroDAQ/currentFile"), (dir.path() / "MicroDAQ_0.h5.tmp").string());

  // switching off completes the file at once, not only after ten triggers
  test.writeScalar<Boolean>("/MicroDAQ/enable", false);
  trigger(test, 4);
  EXPECT_EQ(test.readScalar<std::int32_t>("/MicroDAQ/status"), StatusOutput::OFF);
  EXPECT_EQ(dir.files(), (std::set<std::string>{"MicroDAQ_0.h5"}));
  EXPECT_EQ(test.readScalar<std::string>("/MicroDAQ/currentFile"), "");
  EXPECT_EQ(DaqFile(dir.path() / "MicroDAQ_0.h5").triggerNumbers(), (std::vector<std::int64_t>{2, 3}));
}

TEST(MicroDAQRecording, ReadableByTheCommandLineTools) {
  if(std::system("h5dump --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "h5dump is not installed";
  TempDirectory dir;
  {
    DaqApp app;
    TestFacility test(app);
    configure(test, dir.path(), 1, 1);
    test.runApplication();
    writeSources(test, 0.5, 40.f, "dumped", true, 3);
    trigger(test, 42);
  }
  auto command = "h5dump -d /trigger_42/Data/trace -a /trigger_42/triggerNumber " + (dir.path() / "MicroDAQ_0.h5").string();
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char buffer[4096];
  while(auto n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  ASSERT_EQ(::pclose(pipe), 0) << output;
  EXPECT_NE(output.find("H5T_IEEE_F32LE"), std::string::npos) << output;
  EXPECT_NE(output.find("40, 41, 42, 43, 44, 45, 46, 47"), std::string::npos) << output;
  EXPECT_NE(output.find("(0): 42"), std::string::npos) << output;
}
