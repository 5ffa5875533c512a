// Persisted settings: what is saved, the round trip into a new application, damaged files,
// and the configuration's precedence.
#include "TestApplication.h"

#include <Corvane/Cs/PersistentSettings.h>

#include <gtest/gtest.h>

#include <fstream>
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
    test.stepApplication();
    PersistentSettings settings(app.getControlSystem(), file);
    EXPECT_TRUE(settings.saveIfChanged());
  }

  struct Restarted {
    explicit Restarted(const std::filesystem::path& file, const std::string& config = {})
    : app(config), test(app), settings((app.initialise(), app.getControlSystem()), file) {
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
  // triggers, large arrays, tagged variables and Void commands are not persisted
  EXPECT_EQ(test.readScalar<std::uint64_t>("/Server/triggerNumber"), 0u);
  EXPECT_EQ(test.readArray<double>("/S/big"), std::vector<double>(2048, 0.0));
  EXPECT_EQ(test.readScalar<std::int32_t>("/S/secret"), 0);
  EXPECT_EQ(next.settings.restoredCount(), 9u);

  auto text = readFile(file);
  for(auto absent : {"/Server/triggerNumber", "/S/big", "/S/secret", "/S/poke", "/R/doubled"})
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
          {"/Server/triggerNumber", false}, {"/S/secret", false}, {"/S/poke", false}, {"/R/doubled", false}}) {
    EXPECT_EQ(PersistentSettings::isPersisted(cs.variable(c.path), options), c.persisted) << c.path;
  }
}

TEST(PersistentSettings, DamagedFilesAreSetAsideAndNotUsed) {
  TemporaryDirectory reference;
  auto good = reference.path / "settings.json";
  saveSomeSettings(good);
  auto text = readFile(good);
  auto replace = [&](const std::string& from, const std::string& to) {
    auto copy = text;
    copy.replace(copy.find(from), from.size(), to);
    return copy;
  };
  for(const auto& damaged : std::vector<std::string>{text.substr(0, text.size() / 2), replace("3.5", "4.5"),
          replace("corvane-settings", "other-format"), replace("\"version\":1", "\"version\":2"), "", "\x01\x02garbage",
          replace("\"type\":\"double\",", "")}) {
    SCOPED_TRACE(damaged.substr(0, 60));
    TemporaryDirectory directory;
    auto file = directory.path / "settings.json";
    std::ofstream(file) << damaged;
    Restarted next(file);
    EXPECT_EQ(next.test.readScalar<double>("/S/gain"), 0.0);
    EXPECT_EQ(next.settings.restoredCount(), 0u);
    EXPECT_FALSE(std::filesystem::exists(file));
    auto copies = damagedCopies(directory.path);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(readFile(copies.front()), damaged);
  }
}

TEST(PersistentSettings, EntriesThatNoLongerFitAreSkipped) {
  TemporaryDirectory directory;
  auto file = directory.path / "settings.json";
  PersistentSettings::Entries entries;
  entries["/S/gain"] = {"float", Json::number(2.0)};                      // type changed
  entries["/S/table"] = {"float", Json::parse("[1,2,3]")};                // length changed
  entries["/S/mode"] = {"int32", Json::number(std::int64_t{12})};         // fits
  entries["/Gone/setting"] = {"int32", Json::number(std::int64_t{1})};    // a path this application lacks
  std::ofstream(file) << PersistentSettings::encode(entries);
  {
    Restarted next(file);
    EXPECT_EQ(next.test.readScalar<double>("/S/gain"), 0.0);
    EXPECT_EQ(next.test.readArray<float>("/S/table"), std::vector<float>(4, 0.f));
    EXPECT_EQ(next.test.readScalar<std::int32_t>("/S/mode"), 12);
    EXPECT_EQ(next.settings.restoredCount(), 1u);
    EXPECT_TRUE(next.settings.saveIfChanged());
  }
  // the setting of a path the application does not have is kept for a later start
  auto saved = PersistentSettings::decode(readFile(file));
  ASSERT_TRUE(saved.count("/Gone/setting"));
  EXPECT_EQ(saved["/S/gain"].type, "double");
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
