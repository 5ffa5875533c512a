// VersionInfoProvider: the published numbers, the full-version format with the configuration
// patch version from the file or (when the key is missing) from the control system, and the
// one-per-application rule.
#include "TempConfig.h"

#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <Corvane/VersionInfoProvider.h>
#include <gtest/gtest.h>

#include <optional>

using namespace Corvane;

namespace {

  struct VersionApp : Application {
    explicit VersionApp(const std::optional<std::string>& configFile) : Application("versionTest") {
      if(configFile) config.emplace(this, ".", *configFile);
    }
    std::optional<ConfigReader> config;
    VersionInfoProvider versionInfo{this, 8, 7, 1};
  };

} // namespace

TEST(VersionInfoProvider, FullVersionFormat) {
  struct Case {
    std::int32_t major, minor, patch, config;
    std::string text;
  };
  for(const auto& c : std::vector<Case>{{8, 7, 1, 3, "08.07.01-03"}, {8, 7, 1, 0, "08.07.01-00"},
          {12, 0, 123, 45, "12.00.123-45"}, {8, 7, 1, -3, "08.07.01--3"}}) {
    EXPECT_EQ(VersionInfoProvider::formatFullVersion(c.major, c.minor, c.patch, c.config), c.text);
  }
}

TEST(VersionInfoProvider, PublishesVersionWithConfigurationPatch) {
  helpermodules::TempConfig config(R"(  <module name="Application">
    <variable name="configPatchVersion" type="int32" value="3"/>
  </module>
)");
  VersionApp app(config.file());
  TestFacility test(app);
  test.runApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>("/Application/majorVersion"), 8);
  EXPECT_EQ(test.readScalar<std::int32_t>("/Application/minorVersion"), 7);
  EXPECT_EQ(test.readScalar<std::int32_t>("/Application/patchVersion"), 1);
  EXPECT_EQ(test.readScalar<std::string>("/Application/fullVersion"), "08.07.01-03");
  auto& cs = app.getControlSystem();
  EXPECT_EQ(cs.variable("/Application/fullVersion").description(),
      "Full version of the application with configuration patch");
  EXPECT_EQ(cs.variable("/Application/majorVersion").description(), "Major version of the application");
  // the configuration value stays a constant
  EXPECT_FALSE(cs.variable("/Application/configPatchVersion").isWritable());
}

TEST(VersionInfoProvider, MissingConfigurationKeyDoesNotStopConstruction) {
  helpermodules::TempConfig config(R"(  <module name="Configuration">
    <variable name="other" type="int32" value="1"/>
  </module>
)");
  for(bool withReader : {true, false}) {
    std::optional<std::string> file;
    if(withReader) file = config.file();
    VersionApp app(file);
    TestFacility test(app);
    test.runApplication();
    EXPECT_EQ(test.readScalar<std::string>("/Application/fullVersion"), "08.07.01-00") << withReader;
    // the control system feeds it instead, and the full version follows
    test.writeScalar<std::int32_t>("/Application/configPatchVersion", 12);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<std::string>("/Application/fullVersion"), "08.07.01-12") << withReader;
  }
}

TEST(VersionInfoProvider, OnlyOnePerApplication) {
  VersionApp app(std::nullopt);
  struct Group : ModuleGroup {
    using ModuleGroup::ModuleGroup;
  } group(&app, "Nested", "");
  for(Module* owner : std::vector<Module*>{&app, &group}) {
    try {
      VersionInfoProvider second(owner, 1, 0, 0);
      FAIL() << "no logic_error for a second provider below " << owner->getQualifiedName();
    }
    catch(const Corvane::logic_error& e) {
      EXPECT_NE(std::string(e.what()).find("Only one VersionInfoProvider"), std::string::npos) << e.what();
    }
  }
  // the failed attempts left nothing behind: the application still runs with its one provider
  TestFacility test(app);
  test.runApplication();
  EXPECT_EQ(test.readScalar<std::string>("/Application/fullVersion"), "08.07.01-00");
}

TEST(VersionInfoProvider, PlaceholderCanBeReplaced) {
  struct App : Application {
    App() : Application("lateVersionTest") { versionInfo = VersionInfoProvider(this, 2, 3, 4); }
    VersionInfoProvider versionInfo;
  } app;
  TestFacility test(app);
  test.runApplication();
  EXPECT_EQ(test.readScalar<std::string>("/Application/fullVersion"), "02.03.04-00");
}
