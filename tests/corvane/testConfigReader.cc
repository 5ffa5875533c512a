// The configuration reader inside an application: typed access, values published as read-only
// constants, and keys that a module declares with write-back becoming operator settings.
#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <fstream>

using namespace Corvane;

namespace {

  std::string writeConfig(const std::string& name) {
    std::ofstream file(name);
    file << R"(<configuration>
  <module name="Configuration">
    <variable name="nBoards" type="uint32" value="2"/>
    <variable name="scale" type="double" value="2.5"/>
    <variable name="enabled" type="boolean" value="true"/>
    <variable name="limit" type="int32" value="7"/>
    <variable name="devices" type="string">
      <value i="1" v="Cryo"/>
      <value i="0" v="Timing"/>
    </variable>
  </module>
</configuration>
)";
    return name;
  }

  struct User : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPollInput<double> scale{this, "/Configuration/scale", "", ""};
    ScalarPushInputWB<int> limit{this, "/Configuration/limit", "", "an operator setting"};
    ArrayPollInput<std::string> devices{this, "/Configuration/devices", "", 2, ""};
    ScalarOutput<double> scaled{this, "/scaled", "", ""};
    void mainLoop() override {
      while(true) {
        scaled.setAndWrite(scale * limit);
        limit.read();
      }
    }
  };

  struct ConfigApp : Application {
    ConfigApp() : Application("config") {}
    ConfigReader config{this, ".", writeConfig("config_test.xml")};
    User user{this, "User", ""};
  };

} // namespace

TEST(ConfigReader, TypedAccessAndErrorsNameTheKey) {
  ConfigApp app;
  auto& config = app.user.appConfig();
  EXPECT_EQ(config.get<std::uint32_t>("Configuration/nBoards"), 2u);
  EXPECT_TRUE(config.get<Boolean>("Configuration/enabled"));
  EXPECT_EQ(config.get<std::vector<std::string>>("Configuration/devices"),
      (std::vector<std::string>{"Timing", "Cryo"}));
  for(auto key : {"Configuration/missing", "Configuration/nBoards"}) {
    try {
      (void)config.get<std::int32_t>(key);
      FAIL() << key;
    }
    catch(Corvane::logic_error& e) {
      EXPECT_NE(std::string(e.what()).find(key), std::string::npos) << e.what();
    }
  }
}

TEST(ConfigReader, ValuesArePublishedConstantsOrSettings) {
  ConfigApp app;
  TestFacility test(app);
  test.runApplication();
  EXPECT_EQ(test.readScalar<std::uint32_t>("/Configuration/nBoards"), 2u);
  EXPECT_EQ(test.readArray<std::string>("/Configuration/devices"), (std::vector<std::string>{"Timing", "Cryo"}));
  EXPECT_FALSE(app.getControlSystem().variable("/Configuration/scale").isWritable());
  EXPECT_THROW(test.writeScalar<double>("/Configuration/scale", 1.), Corvane::logic_error);
  // the key read with write-back starts at the file's value and is an operator setting
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/scaled"), 17.5);
  ASSERT_TRUE(app.getControlSystem().variable("/Configuration/limit").isWritable());
  test.writeScalar<int>("/Configuration/limit", 2);
  test.stepApplication();
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/scaled"), 5.);
}
