// Persisted settings: what is saved (no commands, no triggers), the round trip into a new
// application, damaged, oversized and orphaned files, entries that no longer fit, and the
// configuration's precedence.
#include "TestApplication.h"

#include <Corvane/Cs/PersistentSettings.h>
#include <Corvane/LogCapture.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <set>
#include <sstream>

using namespace Corvane;
using namespace Corvane::Cs;
using CsTest::App;
using CsTest::TemporaryDirectory;

namespace {

  std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
  }

  std::vector<std::string> damagedCopies(const std::filesystem::path& directory) {
    std::vector<std::string> names;
    for(auto& entry : std::filesystem::directory_iterator(directory))
      if(entry.path().filename().string().find(".damaged-") != std::string::npos) names.push_back(entry.path().string());
    return names;
  }

  /// Makes `file` a file that opening for reading refuses: without permissions, or for root (who
  /// may open anything of its own) a link to a write-only attribute of the kernel. Nothing when
  /// neither is at hand.
  void makeUnopenable(const std::filesystem::path& file) {
    if(geteuid() != 0) {
      std::ofstream(file) << "{}";
      std::filesystem::permissions(file, std::filesystem::perms::none);
    }
    else if(std::filesystem::exists("/sys/bus/pci/rescan")) {
      std::filesystem::create_symlink("/sys/bus/pci/rescan", file);
    }
  }

  /// Runs a first application, writes settings, saves them.
  void saveSomeSettings(const std::filesystem::path& file) {
    App app;
    TestFacility test{app};
    test.runApplication();
    test.writeScalar<double>("/S/gain", 3.5);
    test.writeScalar<std::int32_t>("/S/mode", -2);
    test.writeScalar<std::int64_t>("/S/wide", INT64_MIN);
    test.writeScalar<std::uint64_t>("/S/count", UINT64_MAX);
    test.writeScalar<float>("/S/level", 0.1f);
    test.writeScalar<Boolean>("/S/flag", true);
    test.writeScalar<std::string>("/S/text", "caf\xc3\xa9 \"quoted\"");
    test.writeArray<float>("/S/table", {1.f, -2.f, 3.5f, 1e-7f});
    test.writeArray<double>("/S/big", std::vector<double>(2048, 1.0));
    test.writeScalar<std::int32_t>("/S/secret", 5);
    test.writeScalar<std::uint64_t>("/Server/triggerNumber", 77);
    test.writeScalar<double>("/S/rotateBy", 45.0);
    test.stepApplication();
    PersistentSettings settings(app.getControlSystem(), file);
    EXPECT_TRUE(settings.saveIfChanged());
  }

  struct Restarted {
    explicit Restarted(const std::filesystem::path& file, const std::string& config = {},
        PersistentSettings::Options options = {})
    : app(config), test(app), settings((app.initialise(), app.getControlSystem()), file, options) {
      settings.load();
      settings.installInitialValues();
      test.runApplication();
    }
    App app;
    TestFacility test;
    PersistentSettings settings;
  };

} // namespace

TEST(PersistentSettings, RestartRestoresTheSettings) {
  TemporaryDirectory directory;
  auto file = directory.path / "cstest_settings.json";
  saveSomeSettings(file);

  Restarted next(file);
  auto& test = next.test;
  EXPECT_EQ(test.readScalar<double>("/S/gain"), 3.5);
  EXPECT_EQ(test.readScalar<std::int32_t>("/S/mode"), -2);
  EXPECT_EQ(test.readScalar<std::int64_t>("/S/wide"), INT64_MIN);
  EXPECT_EQ(test.readScalar<std::uint64_t>("/S/count"), UINT64_MAX);
  EXPECT_EQ(test.readScalar<float>("/S/level"), 0.1f);
  EXPECT_TRUE(test.readScalar<Boolean>("/S/flag"));
  EXPECT_EQ(test.readScalar<std::string>("/S/text"), "caf\xc3\xa9 \"quoted\"");
  EXPECT_EQ(test.readArray<float>("/S/table"), (std::vector<float>{1.f, -2.f, 3.5f, 1e-7f}));
  // the application started from the restored value
  EXPECT_EQ(test.readScalar<double>("/R/doubled"), 7.0);
  // triggers, commands, large arrays, tagged variables and Void commands are not persisted
  EXPECT_EQ(test.readScalar<std::uint64_t>("/Server/triggerNumber"), 0u);
  EXPECT_EQ(test.readScalar<double>("/S/rotateBy"), 0.0);
  EXPECT_EQ(test.readArray<double>("/S/big"), std::vector<double>(2048, 0.0));
  EXPECT_EQ(test.readScalar<std::int32_t>("/S/secret"), 0);
  EXPECT_EQ(next.settings.restoredCount(), 9u);

  auto text = readFile(file);
  for(auto absent : {"/Server/triggerNumber", "/S/rotateBy", "/S/big", "/S/secret", "/S/poke", "/R/doubled"})
    EXPECT_EQ(text.find(absent), std::string::npos) << absent;
  EXPECT_FALSE(std::filesystem::exists(file.string() + ".tmp"));
}

TEST(PersistentSettings, WhatIsPersisted) {
  App app;
  TestFacility test{app};
  test.runApplication();
  PersistentSettings::Options options;
  options.maxArrayElements = 4;
  auto& cs = app.getControlSystem();
  struct Case {
    std::string path;
    bool persisted;
  };
  for(const auto& c : std::vector<Case>{{"/S/gain", true}, {"/S/table", true}, {"/S/big", false},
          {"/Server/triggerNumber", false}, {"/S/rotateBy", false}, {"/S/secret", false}, {"/S/poke", false},
          {"/R/doubled", false}}) {
    EXPECT_EQ(PersistentSettings::isPersisted(cs.variable(c.path), options), c.persisted) << c.path;
  }
}

TEST(PersistentSettings, DamagedFilesAreSetAsideAndTheirSoundEntriesRestored) {
  TemporaryDirectory reference;
  auto good = reference.path / "settings.json";
  saveSomeSettings(good);
  auto text = readFile(good);
  auto replace = [&](const std::string& from, const std::string& to) {
    auto copy = text;
    copy.replace(copy.find(from), from.size(), to);
    return copy;
  };
  struct Case {
    std::string name;
    std::string damaged;
    std::size_t restored; ///< of the nine settings in the file
    double gain;
    std::int32_t mode;
  };
  const std::vector<Case> cases{
      // the checksum flags the change; the entry itself is well formed and fits
      {"value changed", replace("3.5", "4.5"), 9, 4.5, -2},
      {"one entry malformed", replace("\"type\":\"double\",", ""), 8, 0.0, -2},
      {"one line garbled", replace("\"/S/mode\":{", "\"/S/mode\":{{"), 8, 3.5, 0},
      // the lines before the cut are whole: /S/count, /S/flag, /S/gain
      {"cut short", text.substr(0, text.find("\"/S/level\"") + 12), 3, 3.5, 0},
      {"header garbled", replace("\"format\":", "\"format\""), 0, 0.0, 0},
      {"other format", replace("corvane-settings", "other-format"), 0, 0.0, 0},
      {"other version", replace("\"version\":1", "\"version\":2"), 0, 0.0, 0},
      {"settings not an object", "{\"format\":\"corvane-settings\",\"version\":1,\"settings\":[]}", 0, 0.0, 0},
      {"empty", "", 0, 0.0, 0},
      {"garbage", "\x01\x02garbage", 0, 0.0, 0},
  };
  for(const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TemporaryDirectory directory;
    auto file = directory.path / "settings.json";
    std::ofstream(file) << c.damaged;
    LogCapture log("PersistentSettings");
    Restarted next(file);
    EXPECT_EQ(next.settings.restoredCount(), c.restored);
    EXPECT_EQ(next.test.readScalar<double>("/S/gain"), c.gain);
    EXPECT_EQ(next.test.readScalar<std::int32_t>("/S/mode"), c.mode);
    // reported once and kept for the operator, unchanged
    std::size_t errors = 0;
    for(auto& message : log.messages()) errors += message.severity == Logger::Severity::error ? 1 : 0;
    EXPECT_EQ(errors, 1u);
    EXPECT_FALSE(std::filesystem::exists(file));
    auto copies = damagedCopies(directory.path);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(readFile(copies.front()), c.damaged);
    // the next save writes a sound file again
    EXPECT_TRUE(next.settings.saveIfChanged());
    EXPECT_NO_THROW(PersistentSettings::decode(readFile(file)));
  }
}

TEST(PersistentSettings, FilesBeyondTheSizeLimitOrNotRegularAreSetAsideUnread) {
  TemporaryDirectory reference;
  auto good = reference.path / "settings.json";
  saveSomeSettings(good);
  auto size = std::filesystem::file_size(good);
  struct Case {
    std::string name;
    std::uintmax_t limit;
    bool directory;
    std::size_t restored;
  };
  for(const auto& c : std::vector<Case>{{"at the limit", size, false, 9}, {"one byte beyond", size - 1, false, 0},
          {"a directory", size, true, 0}}) {
    SCOPED_TRACE(c.name);
    TemporaryDirectory directory;
    auto file = directory.path / "settings.json";
    if(c.directory) std::filesystem::create_directory(file);
    else std::filesystem::copy_file(good, file);
    PersistentSettings::Options options;
    options.maxFileBytes = c.limit;
    LogCapture log("PersistentSettings");
    Restarted next(file, {}, options);
    EXPECT_EQ(next.settings.restoredCount(), c.restored);
    auto copies = damagedCopies(directory.path);
    EXPECT_EQ(copies.size(), c.restored ? 0u : 1u);
    if(!c.restored) {
      EXPECT_FALSE(std::filesystem::exists(file));
      ASSERT_EQ(log.messages().size(), 1u);
      EXPECT_EQ(log.messages().front().severity, Logger::Severity::error);
      EXPECT_NE(log.messages().front().text.find("is not read"), std::string::npos) << log.messages().front().text;
    }
  }
}

// Without a file to read the application starts without settings. What kept the file from being
// read decides whether it is set aside: a file that cannot be read at all stays where it is.
TEST(PersistentSettings, MissingUnreadableAndGrowingFilesAreToldApart) {
  struct Case {
    std::string name;
    std::function<void(const std::filesystem::path&)> make;
    Logger::Severity severity;
    std::string text;
    bool setAside;
    std::uintmax_t limit{PersistentSettings::Options{}.maxFileBytes};
  };
  const std::vector<Case> cases{{"missing", [](auto&) {}, Logger::Severity::info, "no persisted settings in", false},
      {"a symbolic link to itself (cannot be looked at)",
          [](auto& file) { std::filesystem::create_symlink(file.filename(), file); }, Logger::Severity::info,
          "no persisted settings in", false},
      {"a pipe", [](auto& file) { ASSERT_EQ(mkfifo(file.c_str(), 0600), 0); }, Logger::Severity::error,
          "is not read: it is not a regular file", true},
      {"cannot be opened", [](auto& file) { makeUnopenable(file); }, Logger::Severity::error,
          "cannot be read (Permission denied), starting without", false},
      // the kernel refuses to read address 0 of the process: an I/O error on a file that opened
      {"an I/O error while read", [](auto& file) { std::filesystem::create_symlink("/proc/self/mem", file); },
          Logger::Severity::error, "is damaged (not a JSON document", true},
      // a regular file that reports size 0 and gives more than the limit
      {"grew while read", [](auto& file) { std::filesystem::create_symlink("/proc/self/status", file); },
          Logger::Severity::error, "is damaged (it grew beyond the size limit while read); 0 well-formed", true, 64}};
  for(const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TemporaryDirectory directory;
    auto file = directory.path / "settings.json";
    c.make(file);
    const bool present = std::filesystem::exists(std::filesystem::symlink_status(file));
    if(c.name == "cannot be opened" && !present) {
      std::cout << "skipped: as root there is no file here that cannot be opened\n";
      continue;
    }
    PersistentSettings::Options options;
    options.maxFileBytes = c.limit;
    LogCapture log("PersistentSettings");
    Restarted next(file, {}, options);
    EXPECT_EQ(next.settings.restoredCount(), 0u);
    auto messages = log.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages.front().severity, c.severity);
    EXPECT_NE(messages.front().text.find(c.text), std::string::npos) << messages.front().text;
    EXPECT_EQ(damagedCopies(directory.path).size(), c.setAside ? 1u : 0u);
    // a file set aside is gone from its place; one that is not read stays
    EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(file)), present && !c.setAside);
  }
}

TEST(PersistentSettings, AnOrphanTemporaryFileIsRemovedAtStart) {
  TemporaryDirectory directory;
  auto file = directory.path / "settings.json";
  saveSomeSettings(file);
  auto temporary = file.string() + ".tmp";
  // what a save killed before its rename leaves behind
  std::ofstream(temporary) << "{\"format\":\"corvane-settings\",\"vers";
  Restarted next(file);
  EXPECT_FALSE(std::filesystem::exists(temporary));
  EXPECT_EQ(next.settings.restoredCount(), 9u);
  EXPECT_TRUE(damagedCopies(directory.path).empty());
}

TEST(PersistentSettings, EntriesThatNoLongerFitAreSkipped) {
  TemporaryDirectory directory;
  auto file = directory.path / "settings.json";
  PersistentSettings::Entries entries;
  entries["/S/gain"] = {"float", Json::number(2.0)};                      // type changed
  entries["/S/table"] = {"float", Json::parse("[1,2,3]")};                // length changed
  entries["/S/small"] = {"uint8", Json::number(std::int64_t{300})};       // out of range
  entries["/S/mode"] = {"int32", Json::number(std::int64_t{12})};         // fits
  entries["/S/rotateBy"] = {"double", Json::number(30.0)};                // a command, saved by an older version
  entries["/Gone/setting"] = {"int32", Json::number(std::int64_t{1})};    // paths this application lacks
  entries["/Gone/other"] = {"int32", Json::number(std::int64_t{2})};
  std::ofstream(file) << PersistentSettings::encode(entries);
  {
    LogCapture log("PersistentSettings");
    Restarted next(file);
    EXPECT_EQ(next.test.readScalar<double>("/S/gain"), 0.0);
    EXPECT_EQ(next.test.readArray<float>("/S/table"), std::vector<float>(4, 0.f));
    EXPECT_EQ(next.test.readScalar<std::uint8_t>("/S/small"), 0);
    EXPECT_EQ(next.test.readScalar<std::int32_t>("/S/mode"), 12);
    EXPECT_EQ(next.test.readScalar<double>("/S/rotateBy"), 0.0);
    EXPECT_EQ(next.settings.restoredCount(), 1u);
    // one warning names both unknown paths
    auto warnings = log.warningsContaining("does not have");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings.front().find("/Gone/setting"), std::string::npos) << warnings.front();
    EXPECT_NE(warnings.front().find("/Gone/other"), std::string::npos) << warnings.front();
    EXPECT_TRUE(next.settings.saveIfChanged());
  }
  // the next save holds the application's settings only
  auto saved = PersistentSettings::decode(readFile(file));
  for(auto dropped : {"/Gone/setting", "/Gone/other", "/S/rotateBy"}) EXPECT_FALSE(saved.count(dropped)) << dropped;
  EXPECT_EQ(saved["/S/gain"].type, "double");
  EXPECT_EQ(saved["/S/mode"].value.text(), "12");
}

TEST(PersistentSettings, ConfigurationValuesWin) {
  TemporaryDirectory directory;
  auto file = directory.path / "settings.json";
  saveSomeSettings(file);
  auto config = directory.write("cstest_base_config.xml",
      "<configuration><module name=\"S\"><variable name=\"gain\" type=\"double\" value=\"9\"/></module></configuration>");
  Restarted next(file, config);
  EXPECT_EQ(next.test.readScalar<double>("/S/gain"), 9.0);
  EXPECT_EQ(next.test.readScalar<std::int32_t>("/S/mode"), -2);
  EXPECT_FALSE(PersistentSettings::isPersisted(next.app.getControlSystem().variable("/S/gain"), {}));
}

TEST(PersistentSettings, SavesWhatChangedIncludingWriteBacksAndAtStop) {
  TemporaryDirectory directory;
  auto file = directory.path / "settings.json";
  App app;
  TestFacility test{app};
  test.runApplication();
  PersistentSettings settings(app.getControlSystem(), file);
  EXPECT_TRUE(settings.saveIfChanged());
  auto first = std::filesystem::last_write_time(file);
  std::filesystem::last_write_time(file, first - std::chrono::hours(1));
  EXPECT_TRUE(settings.saveIfChanged());
  EXPECT_EQ(std::filesystem::last_write_time(file), first - std::chrono::hours(1)) << "nothing changed, nothing written";

  // a module's write-back is the latest value, and it is what gets saved
  settings.start();
  app.settings.gain.setAndWrite(-1.25);
  settings.stop();
  EXPECT_EQ(PersistentSettings::decode(readFile(file))["/S/gain"].value.text(), "-1.25");
}

TEST(PersistentSettings, AnUnwritableFileIsReportedNotFatal) {
  App app;
  TestFacility test{app};
  test.runApplication();
  PersistentSettings settings(app.getControlSystem(), "/nonexistent-directory/settings.json");
  settings.load();
  EXPECT_FALSE(settings.saveIfChanged());
}

TEST(PersistentSettings, DamagedFilesSetAsideOneAfterAnotherAreAllKept) {
  TemporaryDirectory directory;
  auto file = directory.path / "settings.json";
  // three damaged files within (most likely) one second: none replaces the copy of another
  for(int i = 0; i < 3; ++i) {
    std::ofstream(file) << "not a settings file " << i;
    LogCapture log("PersistentSettings");
    Restarted next(file);
    EXPECT_EQ(next.settings.restoredCount(), 0u);
  }
  auto copies = damagedCopies(directory.path);
  ASSERT_EQ(copies.size(), 3u);
  std::set<std::string> texts;
  for(auto& copy : copies) {
    std::ifstream in(copy);
    texts.insert(std::string(std::istreambuf_iterator<char>(in), {}));
  }
  EXPECT_EQ(texts, (std::set<std::string>{"not a settings file 0", "not a settings file 1", "not a settings file 2"}));
}
