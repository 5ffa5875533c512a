// Signal sinks and sources: one callback per new time, values held within their validity (and
// between records of a source without callback), the unconnected default, history lengths
// handed from sinks to sources, and errors as SignalSourceException.
#include "Corvane/VirtualLab/ConstantSignalSource.h"
#include "Corvane/VirtualLab/SignalSink.h"
#include "Corvane/VirtualLab/SignalSourceException.h"
#include "Corvane/VirtualLab/StateVariableSet.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace Corvane::VirtualLab;

namespace {

  /// A source whose value is its time in ps, remembering the times it was asked for.
  struct RampSource {
    std::shared_ptr<SignalSource> source = std::make_shared<SignalSource>();
    std::vector<Picoseconds> calls;

    explicit RampSource(Picoseconds validity) {
      source->setValidityPeriod(validity);
      source->setCallback([this](Picoseconds t) {
        calls.push_back(t);
        return double(t);
      });
    }
  };

  TEST(SignalSink, AnUnconnectedSinkYieldsItsDefault) {
    SignalSink sink(7.5);
    EXPECT_FALSE(sink.isConnected());
    EXPECT_EQ(sink.getValue(0), 7.5);
    EXPECT_EQ(sink.getValue(123'456'789), 7.5);
    SignalSink zero;
    EXPECT_EQ(zero.getValue(5), 0.0);
    RampSource ramp(0);
    zero.connect(ramp.source);
    EXPECT_EQ(zero.getValue(5), 5.0);
    zero.disconnect();
    EXPECT_EQ(zero.getValue(6), 0.0);
  }

  TEST(SignalSource, TheCallbackRunsOncePerTimeNotCovered) {
    RampSource ramp(100);
    SignalSink sink;
    sink.setMaxHistoryLength(10'000);
    sink.connect(ramp.source);
    struct Case {
      Picoseconds request;
      double value;
    };
    // a value holds for the validity period after its time
    const std::vector<Case> cases = {{1000, 1000}, {1000, 1000}, {1050, 1000}, {1099, 1000}, {1100, 1100},
        {1000, 1000}, {2000, 2000}, {1500, 1500}, {1550, 1500}};
    for(const auto& c : cases) EXPECT_EQ(sink.getValue(c.request), c.value) << "request at " << c.request;
    EXPECT_EQ(ramp.calls, (std::vector<Picoseconds>{1000, 1100, 2000, 1500}));
  }

  TEST(SignalSource, WithoutValidityOnlyTheExactTimeIsCovered) {
    RampSource ramp(0);
    EXPECT_EQ(ramp.source->getValue(10), 10.0);
    EXPECT_EQ(ramp.source->getValue(10), 10.0);
    EXPECT_EQ(ramp.source->getValue(11), 11.0);
    EXPECT_EQ(ramp.calls, (std::vector<Picoseconds>{10, 11}));
  }

  TEST(SignalSource, FedValuesHoldUntilTheNextRecord) {
    auto source = std::make_shared<SignalSource>();
    source->requireHistoryLength(1000);
    source->feedValue(100, 1.0);
    source->feedValue(200, 2.0);
    SignalSink sink;
    sink.connect(source);
    EXPECT_EQ(sink.getValue(100), 1.0);
    EXPECT_EQ(sink.getValue(199), 1.0);
    EXPECT_EQ(sink.getValue(200), 2.0);
    EXPECT_EQ(sink.getValue(5000), 2.0);
    EXPECT_THROW(sink.getValue(99), SignalSourceException);
    // feeding an earlier time drops what came after it
    source->feedValue(150, 1.5);
    EXPECT_EQ(sink.getValue(5000), 1.5);
  }

  TEST(SignalSource, ARecordedValueAnswersBeforeTheCallback) {
    RampSource ramp(50);
    ramp.source->feedValue(1000, -1.0);
    EXPECT_EQ(ramp.source->getValue(1020), -1.0);
    EXPECT_TRUE(ramp.calls.empty());
    EXPECT_EQ(ramp.source->getValue(1050), 1050.0);
  }

  TEST(SignalSource, NoValueOrACallbackErrorIsASignalSourceException) {
    SignalSource empty;
    EXPECT_THROW(empty.getValue(0), SignalSourceException);
    SignalSource failing;
    failing.setCallback([](Picoseconds t) -> double {
      throw Corvane::logic_error("Value request is too far into the past: " + std::to_string(t));
    });
    try {
      failing.getValue(42);
      FAIL() << "no exception";
    }
    catch(const SignalSourceException& e) {
      EXPECT_STREQ(e.what(), "Value request is too far into the past: 42");
    }
    // a SignalSourceException is a Corvane::logic_error
    EXPECT_THROW(failing.getValue(43), Corvane::logic_error);
  }

  TEST(SignalSource, SinksHandTheirHistoryLengthToTheSource) {
    RampSource ramp(0);
    std::vector<Picoseconds> announced;
    ramp.source->setOnHistoryLengthChanged([&](Picoseconds length) { announced.push_back(length); });
    SignalSink first, second;
    first.setMaxHistoryLength(500);
    first.connect(ramp.source);
    second.connect(ramp.source);
    second.setMaxHistoryLength(2000);
    second.setMaxHistoryLength(300); // the source keeps what the longest user needs
    EXPECT_EQ(ramp.source->getMaxHistoryLength(), 2000);
    EXPECT_EQ(announced, (std::vector<Picoseconds>{500, 2000}));
    // the history reaches 2000 ps back from the newest value
    for(Picoseconds t = 0; t <= 10'000; t += 1000) ramp.source->getValue(t);
    EXPECT_EQ(ramp.source->getStateVariableSet().getOldestTime(), 8000);
  }

  TEST(ConstantSignalSource, YieldsItsValueAtEveryTime) {
    SignalSink sink;
    sink.connect(std::make_shared<ConstantSignalSource>(1000.0));
    for(Picoseconds t : {Picoseconds{-5}, Picoseconds{0}, Picoseconds{100'000'000'000}}) EXPECT_EQ(sink.getValue(t), 1000.0);
  }

  /// A board's state set whose drive output is a source, read back during the computation of
  /// a state by a model's sink (as a cavity reads the drive while the board reads the cavity).
  struct BoardAndModel {
    StateVariableSet<double> states;
    std::shared_ptr<SignalSource> drive = std::make_shared<SignalSource>();
    SignalSink modelInput;
    bool feedDriveFirst = true;

    BoardAndModel() {
      states.setInitialState(0, 0.0);
      states.setValidityPeriod(100);
      drive->setValidityPeriod(100);
      drive->setCallback([this](Picoseconds t) { return states.getState(t); });
      modelInput.connect(drive);
      states.setComputeFunction([this](Picoseconds t) {
        double output = 2.0 * double(t);
        if(feedDriveFirst) drive->feedValue(t, output);
        EXPECT_EQ(modelInput.getValue(t), output);
        return output;
      });
    }
  };

  TEST(SignalSource, ADriveFedBeforeTheInputsAreReadNeedsNoReEntrantState) {
    BoardAndModel b;
    EXPECT_EQ(b.states.getState(100), 200.0);
    EXPECT_EQ(b.modelInput.getValue(150), 200.0);
    EXPECT_EQ(b.modelInput.getValue(200), 400.0); // computed through the source's callback
    EXPECT_EQ(b.states.getLatestTime(), 200);
  }

  TEST(SignalSource, ADriveReadBeforeItIsFedIsAReEntrantRequestAndRefused) {
    BoardAndModel b;
    b.feedDriveFirst = false;
    try {
      b.states.getState(100);
      FAIL() << "the re-entrant request was not refused";
    }
    catch(const SignalSourceException& e) {
      EXPECT_NE(std::string(e.what()).find("re-entrant request"), std::string::npos) << e.what();
    }
    EXPECT_EQ(b.states.size(), 1u);
    b.feedDriveFirst = true;
    EXPECT_EQ(b.states.getState(100), 200.0);
  }

} // namespace
