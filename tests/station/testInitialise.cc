// Initialisation and teardown of the station application: the start-up banner, the MicroDAQ
// registrations, a missing configuration patch version, and a clean shutdown.
#include "StationFiles.h"
#include "Tessarel.h"

#include <Corvane/Exception.h>
#include <Corvane/Logger.h>
#include <Corvane/TemporaryDirectory.h>
#include <Corvane/TestFacility.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <mutex>

using namespace Corvane;
using station::StationFiles;

namespace {

  /// Collects the messages of the source "tessarel" while it lives.
  class TessarelLog {
   public:
    TessarelLog() {
      Logger::instance().setSink([this](const std::string&, const Logger::Message& m) {
        if(m.source != "tessarel") return;
        std::lock_guard lock(_mutex);
        _messages.push_back(m);
      });
    }
    ~TessarelLog() { Logger::instance().setSink({}); }
    std::vector<Logger::Message> messages() {
      Logger::instance().flush();
      std::lock_guard lock(_mutex);
      return _messages;
    }

   private:
    std::mutex _mutex;
    std::vector<Logger::Message> _messages;
  };

  const std::string stars(64, '*');

  TEST(Initialise, BannerCarriesVersionAndConfigurationPatch) {
    struct Case {
      const char* patch;
      const char* line;
    };
    for(auto c : {Case{"3", "*** Tessarel server version 8.7.1-3"}, Case{"0", "*** Tessarel server version 8.7.1-0"},
            Case{"-2", "*** Tessarel server version 8.7.1--2"}, Case{"120", "*** Tessarel server version 8.7.1-120"}}) {
      StationFiles files("bannerApp");
      files.set("Application/configPatchVersion", "int32", c.patch);
      files.write();
      TessarelLog log;
      Tessarel app("bannerApp");
      app.initialise();
      auto messages = log.messages();
      ASSERT_GE(messages.size(), 2u);
      EXPECT_EQ(messages.front().severity, Logger::Severity::info);
      EXPECT_EQ(messages.front().text, stars + "\n" + c.line);
      EXPECT_EQ(messages.back().severity, Logger::Severity::info);
      EXPECT_EQ(messages.back().text, stars);
      EXPECT_EQ(app.getState(), Application::State::initialised);
    }
  }

  TEST(Initialise, MissingOrMistypedPatchVersionLeavesInitialiseBeforeAnything) {
    for(bool present : {false, true}) {
      StationFiles files("patchApp");
      if(present) files.set("Application/configPatchVersion", "uint32", "1");
      else files.remove("Application/configPatchVersion");
      files.write();
      TessarelLog log;
      Tessarel app("patchApp");
      try {
        app.initialise();
        ADD_FAILURE() << "initialise completed";
      }
      catch(Corvane::logic_error& e) {
        EXPECT_NE(std::string(e.what()).find("Application/configPatchVersion"), std::string::npos) << e.what();
      }
      EXPECT_TRUE(log.messages().empty());
      EXPECT_EQ(app.getState(), Application::State::constructed);
    }
  }

  TEST(Initialise, WithoutAdcBoardTheBoardRegistrationIsSkippedWithAWarning) {
    StationFiles files("noBoardApp");
    files.set("Configuration/nAdcBoards", "uint32", "0");
    files.write();
    TessarelLog log;
    Tessarel app("noBoardApp");
    app.initialise();
    bool warned = false;
    for(auto& m : log.messages()) {
      warned |= m.severity == Logger::Severity::warning && m.text.find("ADC board") != std::string::npos;
    }
    EXPECT_TRUE(warned);
  }

  TEST(Initialise, WithoutAdcBoardTheStationRunsAndSettles) {
    StationFiles files("noBoardRun");
    files.set("Configuration/nAdcBoards", "uint32", "0");
    files.write();
    Tessarel app("noBoardRun");
    TestFacility test(app);
    test.runApplication(); // no module waits on channels that do not exist, none spins
    test.writeScalar<std::int64_t>("/Server/triggerNumber", 1);
    test.stepApplication();
    auto sum = test.readArray<float>("/ForwardVectorSum/I");
    ASSERT_FALSE(sum.empty());
    EXPECT_TRUE(std::all_of(sum.begin(), sum.end(), [](float v) { return v == 0.f; }));
  }

  TEST(Initialise, TheFirstBoardsRegistersAreRecorded) {
    StationFiles files("boardRecordApp");
    files.set("Configuration/nAdcBoards", "uint32", "2");
    files.set("Configuration/AdcBoard1/nChannels", "uint32", "1");
    files.write();
    Tessarel app("boardRecordApp");
    app.initialise();
    auto paths = app.microDaq.recordedPaths();
    // only the first board's "Adc" sub-tree (below its "/ToControlSystem") is registered
    EXPECT_EQ(std::count(paths.begin(), paths.end(), "/Adc/firmwareVersion"), 1);
    EXPECT_EQ(std::count(paths.begin(), paths.end(), "/Adc1/firmwareVersion"), 0);
  }

  /// The controller registers that the MicroDAQ records: the status register always, the
  /// calibration tables only with details.
  void expectControllerRecording(const Tessarel& app, bool details) {
    bool status = false, other = false;
    for(auto& p : app.microDaq.recordedPaths()) {
      status |= p == "/Controller/Status/controllerStatus";
      other |= p == "/Controller/VectorSum/Calibration/sineTable";
    }
    EXPECT_TRUE(status);
    EXPECT_EQ(other, details);
  }

  TEST(Initialise, DetailsSelectTheWholeControllerOrItsStatus) {
    struct Case {
      const char* what;
      std::function<void(StationFiles&)> edit;
      bool details;
    };
    const Case cases[] = {{"absent", [](StationFiles&) {}, false},
        {"false", [](StationFiles& f) { f.set("Configuration/MicroDAQ/enableDetails", "boolean", "false"); }, false},
        {"true", [](StationFiles& f) { f.set("Configuration/MicroDAQ/enableDetails", "boolean", "true"); }, true}};
    for(auto& c : cases) {
      SCOPED_TRACE(c.what);
      StationFiles files("detailsApp");
      c.edit(files);
      files.write();
      Tessarel app("detailsApp");
      EXPECT_NO_THROW(app.initialise());
      expectControllerRecording(app, c.details);
    }
  }

  TEST(Initialise, DetailsOfAnotherTypeStopInitialisationNamingKeyFileAndTypes) {
    StationFiles files("detailsApp");
    files.set("Configuration/MicroDAQ/enableDetails", "int32", "1");
    files.write();
    Tessarel app("detailsApp");
    try {
      app.initialise();
      ADD_FAILURE() << "initialisation completed";
    }
    catch(Corvane::logic_error& e) {
      std::string what = e.what();
      for(auto part : {"\"Configuration/MicroDAQ/enableDetails\"", "detailsApp_base_config.xml", "is int32,",
              "requested boolean"})
        EXPECT_NE(what.find(part), std::string::npos) << part << " in " << what;
    }
  }

  TEST(Initialise, MicroDaqFilesStayBelowTheWorkingDirectoryOrTheConfiguredRoot) {
    TemporaryDirectory elsewhere("station-daq"); // outside the working directory
    const auto insideName = "station-daq-" + std::to_string(VersionNumber{}.value());
    struct Case {
      const char* what;
      bool rootConfigured;
      std::string directory;
      bool refused;
    };
    const Case cases[] = {{"no root, a directory below the working directory", false, insideName, false},
        {"no root, a directory elsewhere", false, (elsewhere.path() / "daq").string(), true},
        {"root elsewhere, a directory below it", true, (elsewhere.path() / "daq").string(), false},
        {"root elsewhere, a directory below the working directory", true, insideName, true}};
    for(auto& c : cases) {
      SCOPED_TRACE(c.what);
      StationFiles files("daqRootApp");
      if(c.rootConfigured) files.set("Configuration/MicroDAQ/directoryRoot", "string", elsewhere.path().string());
      files.write();
      {
        Tessarel app("daqRootApp");
        TestFacility test(app);
        test.setScalarDefault<Boolean>("/MicroDAQ/enable", true);
        test.setScalarDefault<std::string>("/MicroDAQ/directory", c.directory);
        test.runApplication();
        // the recorder starts once the table generation's first set-point table, written under the firmware
        // lock, has arrived; the board confirms the lock at the mutex's polls, 10 us apart
        for(int i = 0; i < 20; ++i) test.advanceTime(std::chrono::microseconds(10));
        test.writeScalar<std::int64_t>("/Server/triggerNumber", 1);
        test.stepApplication();
        auto message = test.readScalar<std::string>("/MicroDAQ/status_message");
        EXPECT_EQ(message.find("refused") != std::string::npos, c.refused) << message;
      }
      EXPECT_EQ(std::filesystem::exists(c.directory), !c.refused);
      std::filesystem::remove_all(c.directory);
      // a refused first setting records into the default directory when that lies below the root
      if(c.refused && !c.rootConfigured) {
        EXPECT_TRUE(std::filesystem::remove_all("uDAQ") > 0);
      }
    }
  }

  TEST(Teardown, RunningApplicationShutsDownCleanly) {
    StationFiles files("shutdownApp");
    files.write();
    auto app = std::make_unique<Tessarel>("shutdownApp");
    {
      TestFacility test(*app);
      test.runApplication();
      test.writeScalar<double>("/Controller/VectorSum/Calibration/scale", 1.0);
      test.stepApplication();
      test.advanceTime(std::chrono::seconds(3));
      EXPECT_EQ(app->getState(), Application::State::running);
    }
    app->shutdown();
    app->shutdown(); // idempotent
    EXPECT_EQ(app->getState(), Application::State::shutDown);
    EXPECT_EQ(app->exitStatus(), 0) << app->failureMessage();
    app.reset();
    // the next application of the process starts from scratch
    EXPECT_FALSE(Application::hasInstance());
    Tessarel next("shutdownApp");
    EXPECT_TRUE(Application::hasInstance());
  }

  TEST(Teardown, ApplicationThatNeverRanIsDestroyedCleanly) {
    StationFiles files("idleApp");
    files.write();
    {
      Tessarel app("idleApp");
      EXPECT_EQ(app.getState(), Application::State::constructed);
    }
    EXPECT_FALSE(Application::hasInstance());
  }

} // namespace
