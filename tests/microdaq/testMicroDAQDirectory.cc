// The recorder writes only below its directory root (the working directory unless configured):
// other directory settings are refused with a message, and recording goes on in the last
// accepted directory.
#include "DaqTestSupport.h"

#include <Corvane/LogCapture.h>

#include <gtest/gtest.h>

using namespace Corvane;
using namespace daqtest;

namespace {

  /// A name that exists nowhere yet, for directories that must not be created.
  std::string freshName(const std::string& what) {
    return "microdaq-" + what + "-" + std::to_string(VersionNumber{}.value());
  }

} // namespace

TEST(MicroDAQDirectory, SettingsOutsideTheRootAreRefusedAndRecordingStaysWhereItWas) {
  const fs::path cwd = fs::current_path();
  Corvane::TemporaryDirectory outside("microdaq-outside"); // below the system's temporary directory
  struct Case {
    std::string what;
    std::function<fs::path(const fs::path& inside)> requested;
    /// Where the refused setting would have written, which must not exist afterwards.
    std::function<fs::path(const fs::path& requested)> wouldCreate;
    std::string reason;
  };
  const auto escape = freshName("escape");
  const std::vector<Case> cases{
      {"'..' climbing out of the working directory", [&](const fs::path&) { return fs::path("..") / escape; },
          [&](const fs::path&) { return cwd.parent_path() / escape; }, "outside"},
      {"'..' inside a relative path", [&](const fs::path& inside) { return fs::relative(inside, cwd) / "../../.." / escape; },
          [&](const fs::path& p) { return (cwd / p).lexically_normal(); }, "outside"},
      {"an absolute path elsewhere", [&](const fs::path&) { return outside.path() / "daq"; },
          [](const fs::path& p) { return p; }, "outside"},
      {"a symbolic link leading out",
          [&](const fs::path& inside) {
            fs::create_directory_symlink(outside.path(), inside / "link");
            return inside / "link" / "daq";
          },
          [&](const fs::path&) { return outside.path() / "daq"; }, "symbolic link"},
  };
  for(const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDirectory dir;
    LogCapture log("/MicroDAQ");
    const auto first = dir.path() / "first";
    DaqApp app;
    TestFacility test(app);
    configure(test, first, 10, 2);
    test.runApplication();
    trigger(test, 1);
    ASSERT_EQ(status(test), StatusOutput::OK) << statusMessage(test);

    const auto requested = c.requested(dir.path());
    test.writeScalar<std::string>("/MicroDAQ/directory", requested.string());
    trigger(test, 2);
    trigger(test, 3);
    EXPECT_EQ(status(test), StatusOutput::WARNING);
    EXPECT_NE(statusMessage(test).find("'" + requested.string() + "' refused"), std::string::npos) << statusMessage(test);
    EXPECT_NE(statusMessage(test).find(c.reason), std::string::npos) << statusMessage(test);
    EXPECT_EQ(test.readScalar<std::string>("/MicroDAQ/lastError"), statusMessage(test));
    EXPECT_FALSE(fs::exists(c.wouldCreate(requested))) << c.wouldCreate(requested);
    // logged once for the setting, not once per trigger
    EXPECT_EQ(log.warningsContaining("refused").size(), 1u);
    EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/recordedTriggers"), 3u);

    // an accepted setting clears the warning
    const auto second = fs::relative(dir.path() / "second", cwd);
    test.writeScalar<std::string>("/MicroDAQ/directory", second.string());
    trigger(test, 4);
    EXPECT_EQ(status(test), StatusOutput::OK) << statusMessage(test);
    EXPECT_EQ(test.readScalar<std::string>("/MicroDAQ/errorMessage"), "");
    test.writeScalar<Boolean>("/MicroDAQ/enable", false);
    trigger(test, 5);
    EXPECT_EQ(DaqFile(first / "MicroDAQ_0.h5").triggerNumbers(), (std::vector<std::int64_t>{1, 2, 3}));
    EXPECT_EQ(DaqFile(dir.path() / "second" / "MicroDAQ_0.h5").triggerNumbers(), (std::vector<std::int64_t>{4}));
  }
}

TEST(MicroDAQDirectory, AConfiguredRootReplacesTheWorkingDirectory) {
  Corvane::TemporaryDirectory root("microdaq-root"); // outside the working directory
  TempDirectory dir;                                  // inside it
  DaqApp app;
  app.daq.setDirectoryRoot(root.path().string());
  TestFacility test(app);
  configure(test, root.path() / "daq", 10, 2);
  test.runApplication();
  trigger(test, 1);
  EXPECT_EQ(status(test), StatusOutput::OK) << statusMessage(test);

  test.writeScalar<std::string>("/MicroDAQ/directory", (dir.path() / "daq").string());
  trigger(test, 2);
  EXPECT_EQ(status(test), StatusOutput::WARNING);
  EXPECT_NE(statusMessage(test).find("outside " + root.path().string()), std::string::npos) << statusMessage(test);
  EXPECT_TRUE(dir.files().empty());
  test.writeScalar<Boolean>("/MicroDAQ/enable", false);
  trigger(test, 3);
  EXPECT_EQ(DaqFile(root.path() / "daq" / "MicroDAQ_0.h5").triggerNumbers(), (std::vector<std::int64_t>{1, 2}));
}

TEST(MicroDAQDirectory, ARefusedFirstSettingRecordsNothingWhenTheDefaultLiesOutsideTheRootToo) {
  Corvane::TemporaryDirectory outside("microdaq-outside");
  TempDirectory dir;
  DaqApp app;
  // the root holds the default directory "uDAQ" of the working directory only when it is that
  app.daq.setDirectoryRoot(fs::relative(dir.path(), fs::current_path()).string());
  TestFacility test(app);
  configure(test, outside.path(), 10, 2);
  test.runApplication();
  trigger(test, 1);
  // the default "uDAQ" lies outside this root too: nothing is recorded, and the status says why
  EXPECT_EQ(status(test), StatusOutput::WARNING);
  EXPECT_NE(statusMessage(test).find("refused"), std::string::npos) << statusMessage(test);
  EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/recordedTriggers"), 0u);
  EXPECT_TRUE(TempDirectory::filesIn(outside.path()).empty());
}
