// The configuration reader inside an application: typed access, optional keys, values published as
// read-only constants, and keys that a module declares with write-back becoming operator settings.
#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

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

TEST(ConfigReader, OptionalKeysAreAbsentOrOfTheirType) {
  ConfigApp app;
  auto& config = app.user.appConfig();
  EXPECT_EQ(config.getOptional<std::uint32_t>("Configuration/nBoards"), 2u);
  EXPECT_TRUE(config.getOptional<Boolean>("Configuration/enabled").value_or(false));
  EXPECT_EQ(config.getOptional<std::vector<std::string>>("Configuration/devices"),
      (std::vector<std::string>{"Timing", "Cryo"}));
  EXPECT_FALSE(config.getOptional<std::int32_t>("Configuration/missing").has_value());
  EXPECT_FALSE(config.getOptional<std::vector<std::string>>("Configuration/missing").has_value());

  // present with another type: an error naming key, file and both types, never "absent"
  struct Case {
    std::function<void()> read;
    std::string message;
  };
  const Case cases[] = {
      {[&] { (void)config.getOptional<std::int32_t>("Configuration/nBoards"); },
          R"(key "Configuration/nBoards" is uint32, requested int32)"},
      {[&] { (void)config.getOptional<Boolean>("Configuration/limit"); },
          R"(key "Configuration/limit" is int32, requested boolean)"},
      {[&] { (void)config.getOptional<std::vector<double>>("Configuration/scale"); },
          R"(key "Configuration/scale" is double, requested double array)"},
      {[&] { (void)config.getOptional<std::string>("Configuration/devices"); },
          R"(key "Configuration/devices" is string array, requested string)"}};
  for(auto& c : cases) {
    try {
      c.read();
      ADD_FAILURE() << "no error: " << c.message;
    }
    catch(Corvane::logic_error& e) {
      std::string what = e.what();
      EXPECT_EQ(what.rfind("config_test.xml:", 0), 0u) << what;
      EXPECT_NE(what.find(c.message), std::string::npos) << what;
    }
  }
}

TEST(ConfigReader, ValuesOutsideTheirRangeAreRefusedNamingFileLineAndKey) {
  ConfigApp app;
  auto& config = app.user.appConfig();
  EXPECT_EQ(config.getInRange<std::uint32_t>("Configuration/nBoards", 2, 2), 2u);
  EXPECT_EQ(config.getInRange<double>("Configuration/scale", -1.0, 2.5), 2.5);
  struct Case {
    std::function<void()> read;
    std::string message;
  };
  const Case cases[] = {
      {[&] { (void)config.getInRange<std::uint32_t>("Configuration/nBoards", 3, 16); },
          "config_test.xml:3: key \"Configuration/nBoards\" is 2, outside 3..16"},
      {[&] { (void)config.getInRange<std::int32_t>("Configuration/limit", 0, 6, "at most six"); },
          "config_test.xml:6: key \"Configuration/limit\" is 7, outside 0..6: at most six"},
      {[&] { (void)config.getInRange<std::int32_t>("Configuration/nBoards", 0, 6); }, "Configuration/nBoards"}};
  for(auto& c : cases) {
    try {
      c.read();
      ADD_FAILURE() << c.message;
    }
    catch(Corvane::logic_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
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
