// The ring of files: triggers per file, replacement of the oldest file, temporary names while a
// file is written, continuation after a restart, and no files at all when nothing runs.
#include "DaqTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace Corvane;
using namespace daqtest;

namespace {

  struct RingCase {
    std::uint32_t triggersPerFile, numberOfFiles, triggers;
    /// Trigger numbers of each complete file while running, by index.
    std::map<std::size_t, std::vector<std::int64_t>> completeWhileRunning;
    /// Index of the file being written (-1: none).
    int open;
    std::uint64_t filesWritten;
    /// Trigger numbers of the open file once the application has shut down.
    std::vector<std::int64_t> openAfterShutdown;
  };

  std::string fileName(std::size_t index, bool temporary = false) {
    return "MicroDAQ_" + std::to_string(index) + ".h5" + (temporary ? ".tmp" : "");
  }

} // namespace

TEST(MicroDAQRing, FilesHoldTheirTriggersAndTheOldestIsReplaced) {
  const std::vector<RingCase> cases{
      {3, 4, 7, {{0, {1, 2, 3}}, {1, {4, 5, 6}}}, 2, 2, {7}},
      {2, 2, 7, {{0, {5, 6}}, {1, {3, 4}}}, 1, 3, {7}},
      {1, 3, 5, {{0, {4}}, {1, {5}}, {2, {3}}}, -1, 5, {}},
      {2, 3, 6, {{0, {1, 2}}, {1, {3, 4}}, {2, {5, 6}}}, -1, 3, {}},
  };
  for(auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.triggersPerFile) + " triggers per file, " + std::to_string(c.numberOfFiles) +
        " files, " + std::to_string(c.triggers) + " triggers");
    TempDirectory dir;
    {
      DaqApp app;
      TestFacility test(app);
      configure(test, dir.path(), c.triggersPerFile, c.numberOfFiles);
      test.runApplication();
      for(std::uint32_t t = 1; t <= c.triggers; ++t) trigger(test, t);

      std::set<std::string> expected;
      for(auto& [index, numbers] : c.completeWhileRunning) {
        expected.insert(fileName(index));
        EXPECT_EQ(DaqFile(dir.path() / fileName(index)).triggerNumbers(), numbers) << fileName(index);
      }
      if(c.open >= 0) expected.insert(fileName(static_cast<std::size_t>(c.open), true));
      EXPECT_EQ(dir.files(), expected);
      EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/filesWritten"), c.filesWritten);
      EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/recordedTriggers"), c.triggers);
    }
    // shutting down completes the open file under its final name
    if(c.open >= 0) {
      auto index = static_cast<std::size_t>(c.open);
      EXPECT_FALSE(fs::exists(dir.path() / fileName(index, true)));
      EXPECT_EQ(DaqFile(dir.path() / fileName(index)).triggerNumbers(), c.openAfterShutdown);
    }
  }
}

TEST(MicroDAQRing, ContinuesAfterTheNewestFileWhenStartedAgain) {
  TempDirectory dir;
  for(std::int64_t run = 0; run < 2; ++run) {
    DaqApp app;
    TestFacility test(app);
    configure(test, dir.path(), 1, 3);
    test.runApplication();
    trigger(test, 10 * run + 1);
    trigger(test, 10 * run + 2);
  }
  // the second run went on with index 2 and then replaced index 0, the oldest
  EXPECT_EQ(dir.files(), (std::set<std::string>{fileName(0), fileName(1), fileName(2)}));
  EXPECT_EQ(DaqFile(dir.path() / fileName(0)).triggerNumbers(), (std::vector<std::int64_t>{12}));
  EXPECT_EQ(DaqFile(dir.path() / fileName(1)).triggerNumbers(), (std::vector<std::int64_t>{2}));
  EXPECT_EQ(DaqFile(dir.path() / fileName(2)).triggerNumbers(), (std::vector<std::int64_t>{11}));
}

TEST(MicroDAQRing, ChangingTheDirectoryCompletesTheFileAndStartsAnotherRing) {
  TempDirectory first, second;
  DaqApp app;
  TestFacility test(app);
  configure(test, first.path(), 5, 2);
  test.runApplication();
  trigger(test, 1);
  trigger(test, 2);
  test.writeScalar<std::string>("/MicroDAQ/directory", second.path().string());
  trigger(test, 3);
  EXPECT_EQ(first.files(), (std::set<std::string>{fileName(0)}));
  EXPECT_EQ(DaqFile(first.path() / fileName(0)).triggerNumbers(), (std::vector<std::int64_t>{1, 2}));
  EXPECT_EQ(second.files(), (std::set<std::string>{fileName(0, true)}));
}

namespace {
  /// Runs a test in another working directory, where a MicroDAQ without settings would write.
  class WorkingDirectory {
   public:
    explicit WorkingDirectory(const fs::path& path) : _previous(fs::current_path()) { fs::current_path(path); }
    ~WorkingDirectory() { fs::current_path(_previous); }

   private:
    fs::path _previous;
  };
} // namespace

TEST(MicroDAQRing, NothingIsWrittenWhenTheApplicationDoesNotRun) {
  TempDirectory dir;
  WorkingDirectory cwd(dir.path());
  {
    // like the generator program: built and connected, never run
    DaqApp app;
    app.initialise();
  }
  {
    DaqApp app;
    TestFacility test(app);
  }
  EXPECT_TRUE(dir.files().empty());

  // the same application writes into the default directory once it runs
  {
    DaqApp app;
    TestFacility test(app);
    test.setScalarDefault<Boolean>("/MicroDAQ/enable", true);
    test.runApplication();
    trigger(test, 1);
  }
  EXPECT_EQ(dir.files(), (std::set<std::string>{"uDAQ"}));
  EXPECT_TRUE(fs::exists(dir.path() / "uDAQ" / fileName(0)));
}
