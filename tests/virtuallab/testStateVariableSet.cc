// The state set: states computed on demand (coarse steps across a gap, then the exact time),
// answered from store within their validity, pruned history, requests too far into the past
// and re-entrant requests.
#include "Corvane/VirtualLab/StateVariableSet.h"

#include <gtest/gtest.h>

#include <vector>

using Corvane::VirtualLab::Picoseconds;
using Corvane::VirtualLab::StateVariableSet;

namespace {

  /// A set whose state is the number of states computed so far, recording every computed time.
  struct CountingSet {
    StateVariableSet<int> set;
    std::vector<Picoseconds> computedAt;

    CountingSet(Picoseconds coarseStep, Picoseconds validity, Picoseconds history = 1'000'000) {
      set.setInitialState(0, 0);
      set.setComputeFunction([this](Picoseconds t) {
        computedAt.push_back(t);
        return set.getLatestState() + 1;
      });
      set.setCoarseStep(coarseStep);
      set.setValidityPeriod(validity);
      set.setMaxHistoryLength(history);
    }
  };

  TEST(StateVariableSet, RequestsWithinTheValidityComputeNothing) {
    CountingSet s(1000, 100);
    struct Case {
      Picoseconds request;
      int state;
      std::size_t computed; // states computed so far
    };
    // the validity is half-open: a request exactly one period after a state computes a new one
    const std::vector<Case> cases = {{0, 0, 0}, {99, 0, 0}, {100, 1, 1}, {150, 1, 1}, {199, 1, 1}, {200, 2, 2},
        {300, 3, 3}, {50, 0, 3}, {250, 2, 3}};
    for(const auto& c : cases) {
      EXPECT_EQ(s.set.getState(c.request), c.state) << "request at " << c.request;
      EXPECT_EQ(s.computedAt.size(), c.computed) << "request at " << c.request;
    }
    EXPECT_EQ(s.computedAt, (std::vector<Picoseconds>{100, 200, 300}));
  }

  TEST(StateVariableSet, AGapIsCrossedInCoarseStepsThenOneExactState) {
    CountingSet s(1000, 100);
    EXPECT_EQ(s.set.getState(3500), 4);
    EXPECT_EQ(s.computedAt, (std::vector<Picoseconds>{1000, 2000, 3000, 3500}));
    EXPECT_EQ(s.set.getLatestTime(), 3500);
    // a gap of exactly one coarse step is one state
    EXPECT_EQ(s.set.getState(4500), 5);
    EXPECT_EQ(s.computedAt.back(), 4500);
    EXPECT_EQ(s.computedAt.size(), 5u);
  }

  TEST(StateVariableSet, WithoutACoarseStepAGapIsOneState) {
    CountingSet s(0, 0);
    EXPECT_EQ(s.set.getState(1'000'000), 1);
    EXPECT_EQ(s.computedAt, (std::vector<Picoseconds>{1'000'000}));
    // validity 0 answers only the state's own time
    EXPECT_EQ(s.set.getState(1'000'000), 1);
    EXPECT_EQ(s.set.getState(1'000'001), 2);
  }

  TEST(StateVariableSet, ThePastIsAnsweredByTheStateAtOrBeforeIt) {
    CountingSet s(1000, 100);
    s.set.getState(3500);
    EXPECT_EQ(s.set.getState(999), 0);
    EXPECT_EQ(s.set.getState(1000), 1);
    EXPECT_EQ(s.set.getState(2999), 2);
    EXPECT_EQ(s.set.getState(3499), 3);
    EXPECT_EQ(s.computedAt.size(), 4u);
  }

  TEST(StateVariableSet, HistoryIsPrunedAndOlderRequestsAreTooFarIntoThePast) {
    CountingSet s(1000, 100, 2500);
    s.set.getState(10'000); // states at 1000 ... 10000
    // the newest state at or before 10000 - 2500 stays: it still describes the window's start
    EXPECT_EQ(s.set.getOldestTime(), 7000);
    EXPECT_EQ(s.set.size(), 4u);
    EXPECT_EQ(s.set.getState(7500), 7);
    try {
      s.set.getState(6999);
      FAIL() << "no error for a request before the kept history";
    }
    catch(const Corvane::logic_error& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Value request is too far into the past: 6999", 0), 0u) << e.what();
    }
  }

  TEST(StateVariableSet, AReEntrantRequestThrowsAndLeavesTheHistoryIntact) {
    StateVariableSet<int> set;
    set.setInitialState(0, 0);
    set.setValidityPeriod(10);
    bool askAgain = true;
    std::string inner;
    set.setComputeFunction([&](Picoseconds t) {
      // stored states may be read while computing
      EXPECT_EQ(set.getState(5), 0);
      if(askAgain) {
        try {
          set.getState(t + 100);
        }
        catch(const Corvane::logic_error& e) {
          inner = e.what();
          throw;
        }
      }
      return set.getLatestState() + 1;
    });
    EXPECT_THROW(set.getState(100), Corvane::logic_error);
    EXPECT_NE(inner.find("re-entrant request for a state at 200 ps"), std::string::npos) << inner;
    EXPECT_EQ(set.size(), 1u);
    EXPECT_FALSE(set.isComputing());
    askAgain = false;
    EXPECT_EQ(set.getState(100), 1);
    EXPECT_EQ(set.getLatestTime(), 100);
  }

  TEST(StateVariableSet, AFailedComputationKeepsTheStatesBeforeIt) {
    StateVariableSet<int> set;
    set.setInitialState(0, 0);
    set.setCoarseStep(10);
    set.setComputeFunction([&](Picoseconds t) {
      if(t == 30) throw std::runtime_error("model failed");
      return set.getLatestState() + 1;
    });
    EXPECT_THROW(set.getState(35), std::runtime_error);
    EXPECT_EQ(set.getLatestTime(), 20);
    EXPECT_EQ(set.getLatestState(), 2);
  }

  TEST(StateVariableSet, UpdateDropsLaterStatesInsertKeepsThem) {
    StateVariableSet<double> set;
    set.setMaxHistoryLength(1000);
    for(Picoseconds t : {10, 20, 30, 40}) set.update(t, double(t));
    set.insert(25, 2.5);
    EXPECT_EQ(set.size(), 5u);
    EXPECT_EQ(set.getLatestTime(), 40);
    set.update(20, -1.0);
    EXPECT_EQ(set.size(), 2u);
    EXPECT_EQ(set.getLatestTime(), 20);
    EXPECT_EQ(set.getLatestState(), -1.0);
    ASSERT_NE(set.findAtOrBefore(15), nullptr);
    EXPECT_EQ(set.findAtOrBefore(15)->time, 10);
    EXPECT_EQ(set.findAtOrBefore(9), nullptr);
  }

  TEST(StateVariableSet, AnEmptySetOrMissingFunctionIsAnError) {
    StateVariableSet<int> set;
    EXPECT_THROW(set.getState(0), Corvane::logic_error);
    EXPECT_THROW(set.getLatestTime(), Corvane::logic_error);
    set.setInitialState(0, 0);
    EXPECT_THROW(set.getState(10), Corvane::logic_error);
    EXPECT_THROW(set.setCoarseStep(-1), Corvane::logic_error);
  }

} // namespace
