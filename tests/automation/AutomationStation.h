// Test applications of the automation: the interlock detection alone, with the test in the automation's place,
// and the automation with the interlock detection and the controller's enables, with the test in the place of
// the operators and of the controller's DAQ channels or with a cavity plant delivering them. None reads a
// configuration file.
#pragma once

#include "Automation.h"
#include "CavityPlant.h"
#include "ControllerEnable.h"
#include "InterlockDetection.h"

#include <Corvane/Application.h>
#include <Corvane/LogCapture.h>
#include <Corvane/ModuleGroup.h>
#include <Corvane/TestFacility.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace automationtest {

  inline const std::string interlock = "/InterlockDetection/";
  inline const std::string latcher = "/Controller/InterlockLatcher/";
  inline const std::string amplitude = "/Controller/VectorSum/DAQ/Samples/amplitude";
  inline const std::string feedForward = "/Controller/FeedForward/enable";
  inline const std::string feedBack = "/Controller/FeedBack/enable";
  inline const std::string requestMode = "/Automation/requestMode";
  inline const std::string currentMode = "/Automation/currentMode";
  inline const std::string errorMessage = "/Automation/errorMessage";

  using Corvane::Boolean;

  struct InterlockApp : Corvane::Application {
    InterlockApp() : Corvane::Application("interlocktest") {}
    InterlockDetection detection{this, "InterlockDetection", "Detection of external interlocks"};
  };

  /// The automation's state machine `Main` (or a test's variant of it) beside the interlock detection and the
  /// controller's enables, as the automation group and the controller tree place them.
  template<class Main = Automation::Main>
  struct AutomationApp : Corvane::Application {
    AutomationApp() : Corvane::Application("automationtest") {}
    Main main{this, ".", ""};
    InterlockDetection detection{this, "InterlockDetection", "Detection of external interlocks"};
    Corvane::ModuleGroup controller{this, "Controller", "RF Controller"};
    ControllerEnable enable{&controller, ".", ""};
  };

  /// The same with a cavity and its controller board in the place of the controller's DAQ channels.
  template<class Main = Automation::Main>
  struct AutomationWithPlantApp : AutomationApp<Main> {
    CavityPlant plant{this, "Plant", "Cavity and controller board"};
  };

  /// A running application with its facility and a capture of the log.
  template<class App>
  struct Running {
    Running() : test(app) {}
    void start() { test.runApplication(); }

    template<class T>
    void write(const std::string& path, T value) {
      test.writeScalar<T>(path, value);
      test.stepApplication();
    }
    template<class T>
    T read(const std::string& path) {
      return test.readScalar<T>(path);
    }
    /// How often `text` was logged so far (a message's closing end of line aside).
    std::size_t logged(const std::string& text) {
      const auto messages = log.messages();
      return std::count_if(messages.begin(), messages.end(), [&](const Corvane::Logger::Message& m) {
        auto t = m.text;
        while(!t.empty() && t.back() == '\n') t.pop_back();
        return t == text;
      });
    }

    Corvane::LogCapture log;
    App app;
    Corvane::TestFacility test;
  };

  using RunningInterlock = Running<InterlockApp>;
  template<class Main = Automation::Main>
  using RunningAutomation = Running<AutomationApp<Main>>;
  using RunningAutomationWithPlant = Running<AutomationWithPlantApp<>>;

} // namespace automationtest
