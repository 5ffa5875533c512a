// Detection of external interlocks: the gate between the enable requests for the controller's feed-forward and
// feedback paths and the controller itself. While no interlock is latched, each request on this module's own
// inputs is handed on to "/Controller/FeedForward/enable" or "/Controller/FeedBack/enable", whose only writer
// this module is. An interlock is declared when detection is enabled and the vector-sum amplitude at the
// sampling position falls below the operator's threshold (or is not a number), or when the board's interlock
// latching firmware reports a latched interlock; both controller enables then go off and interlockDetected
// holds true until a reset request. Every reset request becomes a pulse on the firmware's reset register that
// lasts until the second amplitude update after the request.
//
// One thread, the module's own; no lock.
#pragma once

#include "DaqChannelSamples.h"

#include <Corvane/ApplicationModule.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>

class InterlockDetection : public Corvane::ApplicationModule {
 public:
  using Corvane::ApplicationModule::ApplicationModule;

  /// Firmware latch status values from this one on mean a latched interlock.
  static constexpr std::uint8_t firstLatchedStatus = 2;

  /// Whether an interlock is to be declared: detection enabled and an amplitude that is not at least the
  /// threshold (a NaN on either side counts as too low, so a broken measurement never hides an interlock), or a
  /// latched firmware status, whether or not detection is enabled.
  static bool trips(bool detectionEnabled, double threshold, float amplitude, std::uint8_t latchStatus);

  class FeedForward : public Corvane::VariableGroup {
   public:
    using Corvane::VariableGroup::VariableGroup;
    Corvane::ScalarPushInput<Corvane::Boolean> enable{this, "enable", "", "Enable feed forward", {}};
  };

  class FeedBack : public Corvane::VariableGroup {
   public:
    using Corvane::VariableGroup::VariableGroup;
    Corvane::ScalarPushInput<Corvane::Boolean> enable{this, "enable", "", "Enable feedback controller", {}};
  };

  /// The controller's side: its vector sum, its two enables and the board's interlock latching registers.
  class Controller : public Corvane::VariableGroup {
   public:
    using Corvane::VariableGroup::VariableGroup;

    class FeedForward : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarOutputPushRB<Corvane::Boolean> enable{this, "enable", "", "Enable feed forward", {}};
    };

    class FeedBack : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarOutputPushRB<Corvane::Boolean> enable{this, "enable", "", "Enable feedback controller", {}};
    };

    DaqChannelSamples<Corvane::ScalarPushInput> vectorSum{this, "VectorSum", "Calibrated vector sum", {}};
    FeedForward feedForward{this, "FeedForward", "", {}};
    FeedBack feedBack{this, "FeedBack", "", {}};
    Corvane::ScalarOutput<Corvane::Boolean> ilockLatchEnable{
        this, "InterlockLatcher/ilockLatchEnable", "", "Enable the interlock latching firmware module", {}};
    Corvane::ScalarPollInput<std::uint8_t> ilockLatchStatus{
        this, "InterlockLatcher/ilockLatchStatus", "", "Status register of the interlock latching firmware module", {}};
    Corvane::ScalarOutput<Corvane::Boolean> ilockLatchReset{
        this, "InterlockLatcher/ilockLatchReset", "", "Reset register for the interlock latching firmware module", {}};
  };

  void prepare() override;
  void mainLoop() override;

  FeedForward feedForward{this, "FeedForward", "", {}};
  FeedBack feedBack{this, "FeedBack", "", {}};
  Corvane::ScalarPollInput<double> threshold{
      this, "threshold", "G.U.", "Threshold on vector sum amplitude for interlock detection", {}};
  Corvane::ScalarPollInput<Corvane::Boolean> enable{this, "enable", "", "Enable interlock detection", {}};
  Corvane::ScalarPushInput<std::int32_t> reset{
      this, "reset", "", "Clear the interlock detection status when written to this variable", {}};
  Corvane::ScalarOutput<Corvane::Boolean> interlockDetected{
      this, "interlockDetected", "", "Will be set to 1 if interlock is detected or 0 otherwise.", {}};
  Corvane::ScalarOutput<std::int32_t> interlockFirmwareStatus{
      this, "interlockFirmwareStatus", "", "Status register from firmware interlock latching", {}};
  Controller controller{this, "/Controller", "", {}};

 private:
  /// Counts the amplitude updates that keep the reset register set; the second one clears it.
  void countResetPulse();
  /// Switches the firmware latching on or off as detection is enabled or disabled.
  void switchLatch();
  /// Drops both controller enables and latches the interlock when one is seen.
  void checkForTrip();
  void publishFirmwareStatus();

  bool _latchSwitchedOn{false};
  int _resetPulseCount{0};
};
