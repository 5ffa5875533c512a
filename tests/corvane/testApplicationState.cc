// The application's life cycle: refused transitions name the application and both states, the
// state can be read from any thread, shutdown() may come from several threads at once, and an
// application destroyed while running stops the process with its name instead of letting module
// threads use destroyed members.
#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

using namespace Corvane;

namespace {

  struct Echo : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> in{this, "/in", "", ""};
    ScalarOutput<int> out{this, "/out", "", ""};
    void mainLoop() override {
      while(true) {
        out.setAndWrite(in);
        in.read();
      }
    }
  };

  struct EchoApp : Application {
    EchoApp() : Application("echo") {}
    Echo echo{this, "Echo", ""};
  };

  using State = Application::State;

  /// Brings a fresh application into `state` (running in real time, without a test facility).
  void bringTo(Application& app, State state) {
    if(state == State::initialised) app.initialise();
    if(state == State::running) app.run();
    if(state == State::shutDown) app.shutdown();
  }

  struct RefusedTransition {
    State from;
    const char* action;
    std::function<void(Application&)> call;
    const char* expectedMessage;
  };

} // namespace

TEST(ApplicationState, InvalidTransitionsAreRefusedNamingTheApplicationAndBothStates) {
  const std::vector<RefusedTransition> cases{
      {State::initialised, "initialise", [](Application& a) { a.initialise(); },
          "Application echo cannot be initialised in state initialised "
          "(no transition from initialised to initialised)"},
      {State::running, "initialise", [](Application& a) { a.initialise(); },
          "Application echo cannot be initialised in state running (no transition from running to initialised)"},
      {State::running, "run", [](Application& a) { a.run(); },
          "Application echo cannot be run in state running (no transition from running to running)"},
      {State::shutDown, "initialise", [](Application& a) { a.initialise(); },
          "Application echo cannot be initialised in state shut down (no transition from shut down to initialised)"},
      {State::shutDown, "run", [](Application& a) { a.run(); },
          "Application echo cannot be run in state shut down (no transition from shut down to running)"},
  };
  for(const auto& refused : cases) {
    SCOPED_TRACE(std::string(refused.action) + " in state " + std::to_string(int(refused.from)));
    EchoApp app;
    bringTo(app, refused.from);
    try {
      refused.call(app);
      ADD_FAILURE() << "transition accepted";
    }
    catch(Corvane::logic_error& e) {
      EXPECT_EQ(std::string(e.what()), refused.expectedMessage);
    }
    EXPECT_EQ(app.getState(), refused.from); // a refused transition changes nothing
    app.shutdown();
  }
}

TEST(ApplicationState, StateIsReadableFromAnotherThreadAndOnlyMovesForward) {
  EchoApp app;
  std::vector<State> seen;
  std::thread observer([&] {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    State last = app.getState();
    seen.push_back(last);
    while(last != State::shutDown && std::chrono::steady_clock::now() < deadline) {
      auto now = app.getState();
      if(now != last) seen.push_back(now);
      last = now;
    }
  });
  {
    TestFacility test(app);
    test.runApplication();
    test.writeScalar<int>("/in", 5);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<int>("/out"), 5);
  } // the test facility shuts the application down
  observer.join();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), State::shutDown);
  for(std::size_t i = 1; i < seen.size(); ++i) EXPECT_LT(int(seen[i - 1]), int(seen[i])) << "state went back";
}

TEST(ApplicationState, ConcurrentShutdownsAllReturnWithTheApplicationShutDown) {
  EchoApp app;
  app.run();
  std::vector<std::thread> callers;
  for(int i = 0; i < 4; ++i) callers.emplace_back([&] { app.shutdown(); });
  app.shutdown();
  for(auto& caller : callers) caller.join();
  // every caller has returned; the one that did the work has finished it
  EXPECT_EQ(app.getState(), State::shutDown);
}

TEST(ApplicationStateDeathTest, DestroyingARunningApplicationAbortsNamingIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        auto app = std::make_unique<EchoApp>();
        TestFacility test(*app);
        test.runApplication(); // the module thread waits on its input
        app.reset();           // destroyed before the test facility could shut it down
      },
      "Application 'echo' destroyed while running: its owner must call shutdown\\(\\) before destroying it");
}

TEST(ApplicationState, ApplicationThatNeverRanNeedsNoShutdownBeforeDestruction) {
  for(auto state : {State::constructed, State::initialised}) {
    EchoApp app;
    bringTo(app, state);
    EXPECT_EQ(app.getState(), state);
  } // destroyed without a word: no module thread ever ran
  EchoApp next; // the previous application left no instance behind
  EXPECT_EQ(&Application::getInstance(), &next);
}
