// The event-message aggregator: one stream of the messages that modules emit, every write one
// event, with the path of its source.
#include <Corvane/AggregatableMessage.h>
#include <Corvane/Corvane.h>
#include <Corvane/EventMessageAggregator.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

using namespace Corvane;

namespace {

  /// Emits whatever the control system writes to "/Say/<name>" as its "errorMessage".
  struct Emitter : ApplicationModule {
    Emitter(Module* owner, const std::string& name, const std::string& initialText)
    : ApplicationModule(owner, name, "emits messages"), _initialText(initialText) {
      say = ScalarPushInput<std::string>(this, "/Say/" + name, "", "");
    }
    ScalarPushInput<std::string> say;
    AggregatableMessage errorMessage{this, "errorMessage", "", "Error message"};
    ScalarOutput<std::string> plainText{this, "plainText", "", "not an event message"};
    std::string _initialText;
    void prepare() override {
      errorMessage = _initialText;
      errorMessage.write();
    }
    void mainLoop() override {
      while(true) {
        say.read();
        errorMessage = say;
        errorMessage.write();
        plainText.setAndWrite(say);
      }
    }
  };

  struct EventApp : Application {
    EventApp() : Application("events") {
      disabled.disable();
      aggregator = EventMessageAggregator(this, "Controller/eventMessage", "Aggregate event-based messages");
    }
    Emitter a{this, "A", ""};
    Emitter b{this, "B", ""};
    Emitter c{this, "C", "C started"};
    Emitter disabled{this, "Disabled", ""};
    EventMessageAggregator aggregator;
  };

} // namespace

TEST(EventMessageAggregator, EveryWriteIsOneEvent) {
  EventApp app;
  EXPECT_EQ(app.aggregator.numberOfSources(), 3u); // A, B, C; not the plain texts nor the disabled one
  TestFacility test(app);
  test.runApplication();
  // the one non-empty initial text is the first event
  EXPECT_EQ(test.readScalar<std::string>("/Controller/eventMessage/message"), "C started");
  EXPECT_EQ(test.readScalar<std::string>("/Controller/eventMessage/source"), "/C/errorMessage");
  EXPECT_TRUE(app.getControlSystem().variable("/A/errorMessage").tags().count(AggregatableMessage::tag));

  struct Step {
    std::vector<std::pair<std::string, std::string>> writes; // emitter, text
    std::string message, source;
    std::uint64_t newEvents;
  };
  std::vector<Step> steps{
      {{{"A", "limit reached"}}, "limit reached", "/A/errorMessage", 1},
      {{{"A", "limit reached"}}, "limit reached", "/A/errorMessage", 1}, // same text, still an event
      {{{"B", "limit reached"}}, "limit reached", "/B/errorMessage", 1},
      {{{"A", ""}}, "limit reached", "/B/errorMessage", 0}, // a cleared message is no event
      {{{"A", "first"}, {"A", "second"}}, "second", "/A/errorMessage", 2},
  };
  for(auto& step : steps) {
    auto before = test.updateCount("/Controller/eventMessage/message");
    for(auto& [emitter, text] : step.writes) test.writeScalar<std::string>("/Say/" + emitter, text);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<std::string>("/Controller/eventMessage/message"), step.message);
    EXPECT_EQ(test.readScalar<std::string>("/Controller/eventMessage/source"), step.source);
    EXPECT_EQ(test.updateCount("/Controller/eventMessage/message"), before + step.newEvents) << step.message;
  }
}

namespace {
  struct SilentApp : Application {
    SilentApp() : Application("silent") {
      aggregator = EventMessageAggregator(this, "Controller/eventMessage", "no sources");
    }
    EventMessageAggregator aggregator;
  };
} // namespace

TEST(EventMessageAggregator, WithoutSourcesPublishesEmptyStream) {
  SilentApp app;
  TestFacility test(app);
  test.runApplication();
  EXPECT_EQ(app.aggregator.numberOfSources(), 0u);
  EXPECT_EQ(test.readScalar<std::string>("/Controller/eventMessage/message"), "");
  EXPECT_EQ(test.readScalar<std::string>("/Controller/eventMessage/source"), "");
}
