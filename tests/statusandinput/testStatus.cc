// Status outputs, status with message, and the status aggregator: priority modes, messages,
// invalid inputs, nesting and the errors of a wrong set-up.
#include <Corvane/Corvane.h>
#include <Corvane/StatusAggregator.h>
#include <Corvane/StatusOutput.h>
#include <Corvane/StatusWithMessage.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <set>

using namespace Corvane;
using Status = StatusOutput::Status;

namespace {

  /// Publishes as "<name>/status" a status that the control system sets at "/Set/<setName>", with
  /// the message from "/Set/<setName>Message" when it has one. A status of -1 means: write OK.
  struct Source : ApplicationModule {
    Source(Module* owner, const std::string& name, const std::string& setName, bool withMessage,
        const std::unordered_set<std::string>& tags = {})
    : ApplicationModule(owner, name, "status source", tags), _withMessage(withMessage) {
      value = ScalarPushInput<std::int32_t>(this, "/Set/" + setName, "", "");
      if(withMessage) {
        text = ScalarPushInput<std::string>(this, "/Set/" + setName + "Message", "", "");
        full = StatusWithMessage(this, "status", "status with message");
      }
      else {
        plain = StatusOutput(this, "status", "plain status");
      }
    }
    ScalarPushInput<std::int32_t> value;
    ScalarPushInput<std::string> text;
    StatusOutput plain;
    StatusWithMessage full;
    bool _withMessage;
    void mainLoop() override {
      auto group = readAnyGroup();
      while(true) {
        if(!_withMessage) plain.setAndWrite(value);
        else if(value == -1) full.writeOkIfDifferent();
        else full.writeIfDifferent(static_cast<Status>(value.value()), text);
        group.readAny();
      }
    }
  };

  /// Sources A (plain), B (with message), C (plain), then the aggregator "Summary/ready".
  struct PriorityApp : Application {
    explicit PriorityApp(StatusAggregator::PriorityMode mode) : Application("priority") {
      aggregator = StatusAggregator(this, "Summary/ready", "overall status", mode, {}, {"OUT"});
    }
    Source a{this, "A", "A", false};
    Source b{this, "B", "B", true};
    Source c{this, "C", "C", false};
    StatusAggregator aggregator;
  };

  const std::string setA = "/Set/A", setB = "/Set/B", setC = "/Set/C";

} // namespace

TEST(StatusOutput, VariablesAndMetadata) {
  PriorityApp app(StatusAggregator::PriorityMode::fwko);
  TestFacility test(app);
  test.runApplication();
  auto& cs = app.getControlSystem();
  for(auto path : {"/A/status", "/B/status", "/Summary/ready"}) {
    auto& status = cs.variable(path);
    EXPECT_EQ(status.type(), DataType::int32) << path;
    EXPECT_EQ(status.unit(), "") << path;
    EXPECT_TRUE(status.tags().count(StatusOutput::tag)) << path;
  }
  EXPECT_EQ(cs.variable("/B/status_message").type(), DataType::string);
  EXPECT_EQ(cs.variable("/Summary/ready_message").type(), DataType::string);
  EXPECT_TRUE(cs.variable("/Summary/ready").tags().count("OUT"));
  EXPECT_EQ(std::string(StatusOutput::tag), "_Corvane_StatusOutput_statusOutput");

  // writeIfDifferent of a status with message sends only what changed
  test.writeScalar<std::string>(setB + "Message", "cooling");
  test.writeScalar<std::int32_t>(setB, StatusOutput::WARNING);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>("/B/status"), StatusOutput::WARNING);
  EXPECT_EQ(test.readScalar<std::string>("/B/status_message"), "cooling");
  auto statusUpdates = test.updateCount("/B/status");
  auto messageUpdates = test.updateCount("/B/status_message");
  test.writeScalar<std::string>(setB + "Message", "cooling down");
  test.stepApplication();
  EXPECT_EQ(test.updateCount("/B/status"), statusUpdates);
  EXPECT_EQ(test.updateCount("/B/status_message"), messageUpdates + 1);
  EXPECT_EQ(test.readScalar<std::string>("/Summary/ready_message"), "cooling down");
  // the OK write clears the message
  test.writeScalar<std::int32_t>(setB, -1);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>("/B/status"), StatusOutput::OK);
  EXPECT_EQ(test.readScalar<std::string>("/B/status_message"), "");
  EXPECT_EQ(test.readScalar<std::int32_t>("/Summary/ready"), StatusOutput::OK);
  EXPECT_EQ(test.readScalar<std::string>("/Summary/ready_message"), "");
}

TEST(StatusAggregator, PriorityTable) {
  using Mode = StatusAggregator::PriorityMode;
  constexpr auto OK = StatusOutput::OK, FAULT = StatusOutput::FAULT, OFF = StatusOutput::OFF,
                 WARN = StatusOutput::WARNING;
  struct Case {
    std::int32_t a, b, c;
    std::string bMessage;
    std::int32_t result;
    std::string message;
  };
  struct ModeCases {
    Mode mode;
    std::vector<Case> cases;
  };
  std::vector<ModeCases> table{
      {Mode::fwko,
          {
              {OK, OK, OK, "", OK, ""},
              {OFF, OK, OK, "", OFF, "/A/status switched to OFF"},
              {OFF, WARN, OK, "too warm", WARN, "too warm"},
              {OFF, WARN, OK, "", WARN, "/B/status switched to WARNING"},
              {WARN, OK, FAULT, "", FAULT, "/C/status switched to FAULT"},
              {FAULT, FAULT, OK, "broken", FAULT, "/A/status switched to FAULT"},
              {OK, OFF, WARN, "off", WARN, "/C/status switched to WARNING"},
              {7, OK, OK, "", FAULT, "/A/status has the unknown status value 7"},
          }},
      {Mode::ofwk,
          {
              {FAULT, OFF, OK, "switched off", OFF, "switched off"},
              {FAULT, WARN, OK, "", FAULT, "/A/status switched to FAULT"},
              {OK, OK, WARN, "", WARN, "/C/status switched to WARNING"},
          }},
      {Mode::fwok,
          {
              {OFF, OK, OFF, "", OK, ""},
              {OFF, OFF, OFF, "", OFF, "/A/status switched to OFF"},
              {OFF, WARN, OK, "hot", WARN, "hot"},
          }},
      {Mode::fwWarnMixed,
          {
              {OK, OFF, OK, "", WARN, "/B/status is OFF while others are OK"},
              {OFF, OFF, OFF, "", OFF, "/A/status switched to OFF"},
              {OK, OK, OK, "", OK, ""},
              {OK, OFF, FAULT, "", FAULT, "/C/status switched to FAULT"},
              {WARN, OFF, OK, "", WARN, "/A/status switched to WARNING"},
          }},
  };
  for(auto& [mode, cases] : table) {
    PriorityApp app(mode);
    TestFacility test(app);
    test.runApplication();
    for(auto& c : cases) {
      test.writeScalar<std::string>(setB + "Message", c.bMessage);
      test.writeScalar<std::int32_t>(setA, c.a);
      test.writeScalar<std::int32_t>(setB, c.b);
      test.writeScalar<std::int32_t>(setC, c.c);
      test.stepApplication();
      auto where = "mode " + std::to_string(static_cast<int>(mode)) + ": " + std::to_string(c.a) + " " +
          std::to_string(c.b) + " " + std::to_string(c.c);
      EXPECT_EQ(test.readScalar<std::int32_t>("/Summary/ready"), c.result) << where;
      EXPECT_EQ(test.readScalar<std::string>("/Summary/ready_message"), c.message) << where;
    }
  }
}

TEST(StatusAggregator, InvalidInputCountsAsFault) {
  PriorityApp app(StatusAggregator::PriorityMode::fwko);
  TestFacility test(app);
  test.runApplication();
  test.writeScalar<std::int32_t>(setB, StatusOutput::WARNING);
  test.stepApplication();
  ASSERT_EQ(test.readScalar<std::int32_t>("/Summary/ready"), StatusOutput::WARNING);

  // an OK that comes with faulty validity outranks the WARNING
  test.variable(setC).set(std::vector<std::int32_t>{StatusOutput::OK}, VersionNumber{}, DataValidity::faulty);
  test.stepApplication();
  EXPECT_EQ(test.getValidity("/C/status"), DataValidity::faulty);
  EXPECT_EQ(test.readScalar<std::int32_t>("/Summary/ready"), StatusOutput::FAULT);
  EXPECT_EQ(test.readScalar<std::string>("/Summary/ready_message"), "/C/status has invalid data");

  test.writeScalar<std::int32_t>(setC, StatusOutput::OK);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>("/Summary/ready"), StatusOutput::WARNING);
  EXPECT_EQ(test.getValidity("/Summary/ready"), DataValidity::ok);
}

namespace {
  struct Inner : ModuleGroup {
    Inner(Module* owner, const std::string& name) : ModuleGroup(owner, name, "inner part") {
      aggregator = StatusAggregator(this, "status", "inner status", StatusAggregator::PriorityMode::fwko);
    }
    Source a{this, "A", "InnerA", false};
    Source b{this, "B", "InnerB", true};
    StatusAggregator aggregator;
  };

  struct NestedApp : Application {
    NestedApp() : Application("nested") {
      disabled.disable();
      outer = StatusAggregator(this, "Summary/ready", "overall status", StatusAggregator::PriorityMode::fwko);
      rfOnly = StatusAggregator(this, "Summary/rf", "rf status", StatusAggregator::PriorityMode::fwko, {"RF"});
    }
    Inner inner{this, "Inner"};
    Source c{this, "C", "C", false, {"RF"}};
    Source disabled{this, "Disabled", "Disabled", false};
    StatusAggregator outer;
    StatusAggregator rfOnly;
  };

  std::set<std::string> inputPaths(const StatusAggregator& aggregator) {
    std::set<std::string> paths;
    for(auto& node : aggregator.getAccessorListRecursive())
      if(node.getDirection().dir == VariableDirection::consuming) paths.insert(node.getPath());
    return paths;
  }
} // namespace

TEST(StatusAggregator, NestedAggregatorStandsForItsInputs) {
  NestedApp app;
  EXPECT_EQ(inputPaths(app.inner.aggregator),
      (std::set<std::string>{"/Inner/A/status", "/Inner/B/status", "/Inner/B/status_message"}));
  // the outer one takes the inner result instead of A and B, and nothing of the disabled module
  EXPECT_EQ(inputPaths(app.outer), (std::set<std::string>{"/Inner/status", "/Inner/status_message", "/C/status"}));
  EXPECT_EQ(app.outer.coveredPaths().size(), 4u);
  // tag filter: only C carries "RF"
  EXPECT_EQ(inputPaths(app.rfOnly), (std::set<std::string>{"/C/status"}));

  TestFacility test(app);
  test.runApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>("/Summary/ready"), StatusOutput::OK);
  test.writeScalar<std::string>("/Set/InnerBMessage", "vacuum low");
  test.writeScalar<std::int32_t>("/Set/InnerB", StatusOutput::WARNING);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>("/Inner/status"), StatusOutput::WARNING);
  EXPECT_EQ(test.readScalar<std::int32_t>("/Summary/ready"), StatusOutput::WARNING);
  EXPECT_EQ(test.readScalar<std::string>("/Summary/ready_message"), "vacuum low");
  EXPECT_EQ(test.readScalar<std::int32_t>("/Summary/rf"), StatusOutput::OK);

  test.writeScalar<std::int32_t>("/Set/InnerA", StatusOutput::FAULT);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>("/Summary/ready"), StatusOutput::FAULT);
  EXPECT_EQ(test.readScalar<std::string>("/Summary/ready_message"), "/Inner/A/status switched to FAULT");
  EXPECT_FALSE(app.getControlSystem().has("/Disabled/status"));
}

namespace {
  struct Quiet : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarOutput<std::int32_t> notAStatus{this, "value", "", ""};
    void mainLoop() override {}
  };
  struct EmptyApp : Application {
    explicit EmptyApp(std::unordered_set<std::string> tags) : Application("empty") {
      aggregator = StatusAggregator(this, "Summary/ready", "", StatusAggregator::PriorityMode::fwko, tags);
    }
    Quiet quiet{this, "Quiet", ""};
    Source plain{this, "Plain", "Plain", false};
    StatusAggregator aggregator;
  };
} // namespace

TEST(StatusAggregator, NoStatusOutputIsAnErrorNamingTheAggregator) {
  try {
    EmptyApp app({"RF"});
    FAIL() << "built without any status output";
  }
  catch(Corvane::logic_error& e) {
    std::string message = e.what();
    EXPECT_NE(message.find("StatusAggregator /empty/Summary/ready"), std::string::npos) << message;
    EXPECT_NE(message.find("no status output"), std::string::npos) << message;
    EXPECT_NE(message.find("RF"), std::string::npos) << message;
  }
  // without the filter the plain source is found
  EXPECT_NO_THROW(EmptyApp({}));
}
