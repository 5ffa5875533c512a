// Timers in simulated time: steps to the nearest expiry, the order of timers within a step,
// a timer re-armed to "now" firing in the same step, and advances that move nothing.
#include "Corvane/VirtualLab/TimerGroup.h"

#include <Corvane/Exception.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Corvane::VirtualLab::Picoseconds;
using Corvane::VirtualLab::TimerGroup;

namespace {

  struct RecordingTimers {
    TimerGroup timers;
    std::vector<std::string> fired;

    void add(const std::string& name, std::function<void()> also = {}) {
      timers.addTimer(name, [this, name, also] {
        fired.push_back(name + "@" + std::to_string(timers.getCurrentTime()));
        if(also) also();
      });
    }
  };

  TEST(TimerGroup, WithinAStepTimersFireInTheOrderTheyWereAdded) {
    RecordingTimers r;
    r.add("trigger");
    r.add("strobe");
    // added in this order, so "trigger" fires first although "strobe" was armed first
    r.timers.setTimer("strobe", 500);
    r.timers.setTimer("trigger", 500);
    r.timers.advance(500);
    EXPECT_EQ(r.fired, (std::vector<std::string>{"trigger@500", "strobe@500"}));
    EXPECT_FALSE(r.timers.isArmed("trigger"));
    EXPECT_FALSE(r.timers.isArmed("strobe"));
  }

  TEST(TimerGroup, ATimerArmedForNowByAnEarlierOneFiresInTheSameStep) {
    RecordingTimers r;
    r.add("trigger", [&] { r.timers.setTimer("strobe", 0); });
    r.add("strobe", [&] { r.timers.setTimer("strobe", 100); });
    r.timers.setTimer("trigger", 1000);
    r.timers.advanceToTimer("trigger");
    EXPECT_EQ(r.fired, (std::vector<std::string>{"trigger@1000", "strobe@1000"}));
    EXPECT_EQ(r.timers.getCurrentTime(), 1000);
    EXPECT_EQ(r.timers.getRemaining("strobe"), 100);
    r.fired.clear();
    r.timers.advance(250);
    EXPECT_EQ(r.fired, (std::vector<std::string>{"strobe@1100", "strobe@1200"}));
    EXPECT_EQ(r.timers.getCurrentTime(), 1250);
  }

  TEST(TimerGroup, AdvanceToADisarmedOrOverdueTimerMovesNothing) {
    RecordingTimers r;
    r.add("trigger");
    r.add("strobe");
    r.timers.advanceToTimer("trigger");
    EXPECT_EQ(r.timers.getCurrentTime(), 0);
    r.timers.setTimer("trigger", -10); // overdue
    r.timers.setTimer("strobe", 0);
    r.timers.advanceToTimer("trigger");
    EXPECT_EQ(r.timers.getCurrentTime(), 0);
    EXPECT_TRUE(r.fired.empty());
    // a step of 0 fires what is due, overdue timers included
    r.timers.advance(0);
    EXPECT_EQ(r.fired, (std::vector<std::string>{"trigger@0", "strobe@0"}));
  }

  TEST(TimerGroup, StepsStopAtEveryExpiry) {
    RecordingTimers r;
    r.add("a");
    r.add("b");
    r.timers.setTimer("a", 300);
    r.timers.setTimer("b", 100);
    Picoseconds left = 1000;
    std::vector<Picoseconds> stepEnds;
    while(r.timers.step(left)) stepEnds.push_back(r.timers.getCurrentTime());
    stepEnds.push_back(r.timers.getCurrentTime());
    EXPECT_EQ(stepEnds, (std::vector<Picoseconds>{100, 300, 1000}));
    EXPECT_EQ(r.fired, (std::vector<std::string>{"b@100", "a@300"}));
  }

  TEST(TimerGroup, MisuseIsALogicError) {
    RecordingTimers r;
    r.add("trigger");
    EXPECT_THROW(r.add("trigger"), Corvane::logic_error);
    EXPECT_THROW(r.timers.setTimer("strobe", 1), Corvane::logic_error);
    EXPECT_THROW(r.timers.getRemaining("trigger"), Corvane::logic_error);
    EXPECT_THROW(r.timers.advance(-1), Corvane::logic_error);
  }

} // namespace
