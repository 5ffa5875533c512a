// The controller's two switches, feed-forward and feedback: "enable" is the request (which other modules also
// read as the controller's switch), "enable_actual" hands it on to the board. Both controllers are off after
// every start, whatever value the request had: a request that was on is turned off and written back, so the
// control system sees it off too. With the automation ("Configuration/enableAutomation") the interlock detection
// is the request's writer and operators reach it through the automation; without it they write it directly.
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

class ControllerEnable : public Corvane::ApplicationModule {
 public:
  using Corvane::ApplicationModule::ApplicationModule;
  ControllerEnable() = default;
  ControllerEnable(ControllerEnable&&) noexcept = default;
  ControllerEnable& operator=(ControllerEnable&&) noexcept = default;
  ~ControllerEnable() override = default;

  /// The request and its copy to the board, for one of the two controllers.
  class Switch : public Corvane::VariableGroup {
   public:
    Switch() = default;
    Switch(Corvane::Module* owner, const std::string& name, const std::string& description);
    Switch(Switch&&) noexcept = default;
    Switch& operator=(Switch&&) noexcept = default;
    ~Switch() override = default;

    /// Turns both off: the request written back only if it was on, the board's copy always.
    void switchOff();
    /// Hands the request on to the board.
    void forward();

    Corvane::ScalarPushInputWB<Corvane::Boolean> enable;
    Corvane::ScalarOutput<Corvane::Boolean> enable_actual;
  };

  void mainLoop() override;

  Switch feedForward{this, "FeedForward", "Enable feed-forward controller."};
  Switch feedBack{this, "FeedBack", "Enable feedback controller."};
};
