// What goes wrong on the way to the disk: unwritable directories, a full disk, a writer that
// falls behind. None of it stops the application; recording resumes once the cause is gone.
#include "DaqTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/resource.h>

using namespace Corvane;
using namespace daqtest;

namespace {

  /// Every "*.h5" file in the directory opens and each of its triggers holds every variable.
  void expectCompleteFiles(const fs::path& directory) {
    for(auto& entry : fs::directory_iterator(directory)) {
      if(entry.path().extension() != ".h5") continue;
      SCOPED_TRACE(entry.path().string());
      DaqFile file(entry.path());
      for(auto& trigger : file.triggers()) {
        for(auto* dataset : {"Data/scalar", "Data/trace", "Data/text", "Data/flag", "Group/counter", "Produced/value"}) {
          EXPECT_TRUE(file.exists(trigger + "/" + dataset)) << trigger << "/" << dataset;
        }
      }
    }
  }

  /// Makes writes beyond `bytes` fail for every file of the process (as a full disk does) while
  /// it lives; the signal that would end the process is ignored meanwhile.
  class FileSizeLimit {
   public:
    explicit FileSizeLimit(rlim_t bytes) {
      getrlimit(RLIMIT_FSIZE, &_previous);
      _handler = std::signal(SIGXFSZ, SIG_IGN);
      rlimit limit{bytes, _previous.rlim_max};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
      setrlimit(RLIMIT_FSIZE, &_previous);
      std::signal(SIGXFSZ, _handler);
    }

   private:
    rlimit _previous{};
    void (*_handler)(int){nullptr};
  };

} // namespace

TEST(MicroDAQFailure, UnwritableDirectoryIsReportedUntilItIsUsable) {
  TempDirectory dir;
  // a plain file where the directory should be: not even root can create the directory below it
  auto blocker = dir.path() / "blocker";
  std::ofstream(blocker) << "in the way";
  auto target = blocker / "daq";

  DaqApp app;
  TestFacility test(app);
  configure(test, target, 2, 2);
  test.runApplication();

  trigger(test, 1);
  trigger(test, 2);
  EXPECT_EQ(status(test), StatusOutput::WARNING);
  EXPECT_NE(statusMessage(test).find(target.string()), std::string::npos) << statusMessage(test);
  EXPECT_EQ(test.readScalar<std::string>("/MicroDAQ/lastError"), statusMessage(test));
  EXPECT_EQ(test.readScalar<std::string>("/MicroDAQ/errorMessage"), statusMessage(test));
  // one event for the cause, not one per trigger
  EXPECT_EQ(test.updateCount("/MicroDAQ/errorMessage"), 2u); // the initial empty text and the error
  EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/recordedTriggers"), 0u);

  fs::remove(blocker);
  trigger(test, 3);
  trigger(test, 4);
  EXPECT_EQ(status(test), StatusOutput::OK);
  EXPECT_EQ(statusMessage(test), "");
  EXPECT_EQ(test.readScalar<std::string>("/MicroDAQ/errorMessage"), "");
  EXPECT_NE(test.readScalar<std::string>("/MicroDAQ/lastError"), ""); // kept for the operator
  EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/recordedTriggers"), 2u);
  EXPECT_EQ(DaqFile(target / "MicroDAQ_0.h5").triggerNumbers(), (std::vector<std::int64_t>{3, 4}));
}

TEST(MicroDAQFailure, OperatorMovesRecordingToAUsableDirectory) {
  TempDirectory dir;
  auto blocker = dir.path() / "blocker";
  std::ofstream(blocker) << "in the way";

  DaqApp app;
  TestFacility test(app);
  configure(test, blocker, 1, 2);
  test.runApplication();
  trigger(test, 1);
  EXPECT_EQ(status(test), StatusOutput::WARNING);

  test.writeScalar<std::string>("/MicroDAQ/directory", (dir.path() / "good").string());
  trigger(test, 2);
  EXPECT_EQ(status(test), StatusOutput::OK);
  EXPECT_EQ(DaqFile(dir.path() / "good" / "MicroDAQ_0.h5").triggerNumbers(), (std::vector<std::int64_t>{2}));
}

TEST(MicroDAQFailure, FullDiskLosesOnlyTheTriggersThatDidNotFit) {
  TempDirectory dir;
  DaqApp app;
  // a large variable makes the file grow quickly: 400 kB per trigger
  app.daq.addSource("/Big/trace", DataType::float32, 100000);
  TestFacility test(app);
  configure(test, dir.path(), 10, 3);
  test.runApplication();

  {
    FileSizeLimit limit(1000000);
    for(std::int64_t t = 1; t <= 3; ++t) trigger(test, t);
    EXPECT_EQ(status(test), StatusOutput::WARNING);
    EXPECT_NE(statusMessage(test).find("MicroDAQ_0.h5.tmp"), std::string::npos) << statusMessage(test);
    EXPECT_NE(statusMessage(test).find("File too large"), std::string::npos) << statusMessage(test);
  }
  // the file that hit the limit was completed without the failed trigger
  EXPECT_EQ(dir.files(), (std::set<std::string>{"MicroDAQ_0.h5"}));
  EXPECT_EQ(DaqFile(dir.path() / "MicroDAQ_0.h5").triggerNumbers(), (std::vector<std::int64_t>{1, 2}));

  trigger(test, 4);
  EXPECT_EQ(status(test), StatusOutput::OK);
  test.writeScalar<Boolean>("/MicroDAQ/enable", false);
  trigger(test, 5);
  EXPECT_EQ(DaqFile(dir.path() / "MicroDAQ_1.h5").triggerNumbers(), (std::vector<std::int64_t>{4}));
  EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/recordedTriggers"), 3u);
  expectCompleteFiles(dir.path());
}

TEST(MicroDAQFailure, OverflowDropsWholeTriggersAndCountsThem) {
  TempDirectory dir;
  DaqApp app(2);
  TestFacility test(app);
  configure(test, dir.path(), 2, 2);
  test.runApplication();

  app.daq.holdWriter(true);
  for(std::int64_t t = 1; t <= 5; ++t) trigger(test, t);
  EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/droppedTriggers"), 3u);
  EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/recordedTriggers"), 0u);
  // only the first file, opened when recording was switched on, before any trigger
  EXPECT_EQ(dir.files(), (std::set<std::string>{"MicroDAQ_0.h5.tmp"}));

  app.daq.holdWriter(false);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/recordedTriggers"), 2u);
  EXPECT_EQ(DaqFile(dir.path() / "MicroDAQ_0.h5").triggerNumbers(), (std::vector<std::int64_t>{1, 2}));

  // with room again, every trigger is recorded
  trigger(test, 6);
  trigger(test, 7);
  EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/droppedTriggers"), 3u);
  EXPECT_EQ(DaqFile(dir.path() / "MicroDAQ_1.h5").triggerNumbers(), (std::vector<std::int64_t>{6, 7}));
  expectCompleteFiles(dir.path());
}
