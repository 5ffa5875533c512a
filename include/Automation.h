// The RF start-up automation group: the automation state machine and the interlock detection.
// "Configuration/enableAutomation" 0 takes the whole group out of the application. An enabled
// automation refuses a slave or monitoring-only instance, an enabled phase setter, and disabled
// controller channel statistics: its constructor throws Corvane::StartUpRefusal, and the process
// ends with a "!!! " line on standard output and exit status 1.
#pragma once

#include "AmplitudePhase.h"
#include "CascadedRotation.h"
#include "DaqChannelSamples.h"
#include "InterlockDetection.h"

#include <Corvane/ApplicationModule.h>
#include <Corvane/ModuleGroup.h>
#include <Corvane/ReadAnyGroup.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

#include <complex>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

class Automation : public Corvane::ModuleGroup {
 public:
  Automation(Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});

  /// The automation state machine, driven by the operator's "/Automation/requestMode": it switches RF off,
  /// shows errors until they are cleared, passes the operator's settings through in manual mode, ramps RF up to
  /// the operator's set point and gain and holds it there in continuous-wave operation, and calibrates the
  /// vector modulator's DAC offsets. It reaches the controller's feed-forward and feedback enables only through
  /// the interlock detection. No non-finite value reaches the controller's cascade input or DAC offsets: such
  /// a value ends the state in the error state (RF off) instead.
  /// One thread, the module's own; every wait goes through one read-any group over all its push inputs.
  class Main : public Corvane::ApplicationModule {
   public:
    using Corvane::ApplicationModule::ApplicationModule;

    /// Values of "/Automation/requestMode".
    enum class MODE_REQUEST : std::int32_t {
      MANUAL = 1,
      RAMPUP = 3,
      CLEAR_ERROR = 4,
      SWITCH_OFF = 5,
      CALIBRATE_VM_OFFSET = 7
    };
    /// Values of "/Automation/currentMode".
    enum class CURRENT_MODE : std::int32_t {
      OFF = 0,
      MANUAL = 1,
      RAMPUP = 3,
      ERROR = 4,
      CW_AUTO = 5,
      RAMPING = 6,
      CALIBRATE_VM_OFFSET = 8
    };

    struct Server : Corvane::VariableGroup {
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarPushInput<std::int64_t> triggerNumber{this, "triggerNumber", "", "Macro pulse trrigger number", {}};
    };

    /// Declared so that the module is listed among the readers of the bit scaling; nothing reads it.
    struct Configuration : Corvane::VariableGroup {
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarPollInput<double> bitScaling{this, "bitScaling", "digits/G.U.", "Bit scaling factor", {}};
    };

    /// The operators' settings and requests, and the state shown to them.
    struct Operator : Corvane::VariableGroup {
      using Corvane::VariableGroup::VariableGroup;

      struct Enable : Corvane::VariableGroup {
        Enable(Corvane::Module* owner, const std::string& name, const std::string& description)
        : Corvane::VariableGroup(owner, name, name, {}), enable(this, "enable", "", description, {}) {}
        Corvane::ScalarPushInput<Corvane::Boolean> enable;
      };
      struct FeedBack : Enable {
        using Enable::Enable;
        struct Gain : Corvane::VariableGroup {
          using Corvane::VariableGroup::VariableGroup;
          Corvane::ScalarPushInput<double> magnitude{this, "magnitude", "", "Value of the gain", {}};
        };
        Gain gain{this, "Gain", "Gain", {}};
      };
      struct PulseShape : Corvane::VariableGroup {
        using Corvane::VariableGroup::VariableGroup;
        Corvane::ScalarPushInput<std::int32_t> cwMode{this, "cwMode", "",
            "If true, the pulse form parameters will be changed for contineous-wave operation", {}};
      };
      struct VectorModulator : Corvane::VariableGroup {
        using Corvane::VariableGroup::VariableGroup;
        struct DacOffset : Corvane::VariableGroup {
          using Corvane::VariableGroup::VariableGroup;
          struct Calibration : Corvane::VariableGroup {
            using Corvane::VariableGroup::VariableGroup;
            Corvane::ScalarPollInput<double> maxIandQ{
                this, "maxIandQ", "", "Maximum I and Q values for the DAC offset allowed during calibration", {}};
            Corvane::ScalarPollInput<double> maxAmplitudeAfterCalibration{this, "maxAmplitudeAfterCalibration", "",
                "Target amplitude to be achieved after optimisation", {}};
            Corvane::ScalarPollInput<std::uint32_t> maxIterations{
                this, "maxIterations", "", "Maximum number of iterations", {}};
            Corvane::ScalarPollInput<std::uint32_t> nTriggersAverage{
                this, "nTriggersAverage", "", "Number of triggers to average over for the measurements", {}};
          };
          Corvane::ScalarPushInputWB<std::int32_t> I{this, "I", "digits", "", {}};
          Corvane::ScalarPushInputWB<std::int32_t> Q{this, "Q", "digits", "", {}};
          Calibration calibration{this, "Calibration", "Automated offset calibration", {}};
        };
        DacOffset dacOffset{this, "DacOffset", "DAC offset", {}};
      };
      struct Rampup : Corvane::VariableGroup {
        Rampup(Corvane::Module* owner, const std::string& name, const std::string& description);
        struct OVC : Corvane::VariableGroup {
          OVC(Corvane::Module* owner, const std::string& name, const std::string& description);
          Corvane::ScalarPollInput<double> rateScale, ratePhase;
          Corvane::ScalarPollInput<std::uint32_t> maxIterations;
          Corvane::ScalarPollInput<double> targetError;
          Corvane::ScalarPollInput<std::uint32_t> rerunDuringRamping;
          Corvane::ScalarPollInput<std::int32_t> debug;
          Corvane::ScalarPollInput<double> maxScale, minScale;
        };
        Corvane::ScalarPollInput<double> initialSetpoint, allowedAmplitudeExcess, allowedError, gain,
            stepsizeSetpoint, stepsizeGain;
        Corvane::ScalarPollInput<std::int32_t> pauseRamping;
        Corvane::ScalarPollInput<std::uint32_t> type;
        OVC ovc;
      };
      struct Ramp : Corvane::VariableGroup {
        using Corvane::VariableGroup::VariableGroup;
        Corvane::ScalarPollInput<double> amplitudeStep{
            this, "amplitudeStep", "", "Maximum step size for amplitude set-point changes in closed-loop operation", {}};
        Corvane::ScalarPollInput<double> phaseStep{
            this, "phaseStep", "", "Maximum step size for phase set-point changes in closed-loop operation", {}};
      };

      Enable feedForward{this, "FeedForward", "Enable feed forward"};
      FeedBack feedBack{this, "FeedBack", "Enable feedback controller"};
      AmplitudePhase<Corvane::ScalarPushInput, double> setPoint{this, "SetPoint", "Gradient set point", {}};
      PulseShape pulseShape{this, "PulseShape", "Pulse shape parameters", {}};
      VectorModulator vectorModulator{this, "VectorModulator", "Vector Modulator settings", {}};
      Corvane::ScalarPushInput<std::int32_t> requestMode{
          this, "requestMode", "", "MANUAL=1, RAMPUP=3, CLEAR_ERROR=4, SWITCH_OFF=5, CALIBRATE_VM_OFFSET=7", {}};
      Corvane::ScalarOutput<std::int32_t> currentMode{this, "currentMode", "",
          "OFF=0, MANUAL=1, RAMPUP=3, ERROR=4, CW_AUTO=5, RAMPING=6, CALIBRATE_VM_OFFSET=8", {}};
      Corvane::ScalarOutput<std::string> errorMessage{
          this, "errorMessage", "", "Error message if currentMode is ERROR.", {}};
      Rampup rampup{this, "Rampup", "Rampup automation parameters"};
      Ramp ramp{this, "Ramp", "Closed-loop setpoint ramping automation parameters", {}};
    };

    /// The controller's variables that the automation drives or reads.
    class Controller : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;

      struct FeedBack : Corvane::VariableGroup {
        using Corvane::VariableGroup::VariableGroup;
        struct Gain : Corvane::VariableGroup {
          using Corvane::VariableGroup::VariableGroup;
          Corvane::ScalarOutputPushRB<double> magnitude{this, "magnitude", "", "Value of the gain", {}};
        };
        Gain gain{this, "Gain", "", {}};
      };
      struct PulseShape : Corvane::VariableGroup {
        using Corvane::VariableGroup::VariableGroup;
        Corvane::ScalarOutput<std::int32_t> cwMode{this, "cwMode", "",
            "If true, the pulse form parameters will be changed for contineous-wave operation", {}};
      };
      class Output : public Corvane::VariableGroup {
       public:
        using Corvane::VariableGroup::VariableGroup;
        struct Calibration : Corvane::VariableGroup {
          using Corvane::VariableGroup::VariableGroup;
          CascadedRotation<Corvane::ScalarOutput> cascadeInputAutomation{
              this, "CascadeInputAutomation", "The resulting scaling and angle correction", {}};
        };
        struct Proportional : Corvane::VariableGroup {
          using Corvane::VariableGroup::VariableGroup;
          struct Daq : Corvane::VariableGroup {
            using Corvane::VariableGroup::VariableGroup;
            struct Statistics : Corvane::VariableGroup {
              using Corvane::VariableGroup::VariableGroup;
              Corvane::ScalarPushInput<float> IAverage{
                  this, "IAverage", "G.U.", "Calibrated value in I averaged over the full pulse", {}};
              Corvane::ScalarPushInput<float> QAverage{
                  this, "QAverage", "G.U.", "Calibrated value in Q averaged over the full pulse", {}};
            };
            Statistics statistics{this, "Statistics", "", {}};
          };
          Daq daq{this, "DAQ", "DAQ data from controller on FPGA", {}};
        };
        Calibration calibration{this, "Calibration", "Output vector rotation", {"DAQ"}};
        Proportional proportional{this, "Proportional", "Proportional controller output", {}};
      };
      class VectorModulator : public Corvane::VariableGroup {
       public:
        using Corvane::VariableGroup::VariableGroup;
        struct DacOffset : Corvane::VariableGroup {
          using Corvane::VariableGroup::VariableGroup;
          Corvane::ScalarOutput<std::int32_t> I{this, "I", "digits", "Offset compensation for I channel", {}};
          Corvane::ScalarOutput<std::int32_t> Q{this, "Q", "digits", "Offset compensation for Q channel", {}};
        };
        DacOffset dacOffset{this, "DacOffset", "Offset compensation values for the DAC", {}};
        Corvane::ScalarPollInput<Corvane::Boolean> qSign{this, "qSign", "digits", "", {}};
      };

      AmplitudePhase<Corvane::ScalarOutputPushRB, double> setPoint{this, "SetPoint", "Gradient set point", {}};
      FeedBack feedBack{this, "FeedBack", "", {}};
      PulseShape pulseShape{this, "PulseShape", "", {}};
      Output output{this, "Output", "Output", {}};
      DaqChannelSamples<Corvane::ScalarPushInput> vectorSum{this, "VectorSum", "Calibrated vector sum", {}};
      DaqChannelSamples<Corvane::ScalarPushInput> error{this, "Error", "Controller input", {}};
      VectorModulator vectorModulator{this, "VectorModulator", "Vector modulator configuration", {}};
    };

    /// The other side of the interlock detection's inputs and of its verdict.
    class InterlockDetection : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      struct FeedForward : Corvane::VariableGroup {
        using Corvane::VariableGroup::VariableGroup;
        Corvane::ScalarOutput<Corvane::Boolean> enable{this, "enable", "", "Enable feed forward", {}};
      };
      struct FeedBack : Corvane::VariableGroup {
        using Corvane::VariableGroup::VariableGroup;
        Corvane::ScalarOutput<Corvane::Boolean> enable{this, "enable", "", "Enable feedback controller", {}};
      };

      Corvane::ScalarOutput<Corvane::Boolean> enable{this, "enable", "", "Enable interlock detection", {}};
      /// Only ever written with 0: every write is a reset request.
      Corvane::ScalarOutput<std::int32_t> reset{
          this, "reset", "", "Clear the interlock detection status when written to this variable", {}};
      Corvane::ScalarPushInput<Corvane::Boolean> interlockDetected{
          this, "interlockDetected", "", "Will be set to 1 if interlock is detected or 0 otherwise.", {}};
      FeedForward feedForward{this, "FeedForward", "", {}};
      FeedBack feedBack{this, "FeedBack", "", {}};
    };

    void prepare() override;
    void mainLoop() override;

    /// Sets the request to switch-off and opens the module's wait point; the start of every main loop.
    void startStateMachine();
    /// Runs the state that the current request asks for, until it ends.
    void dispatch();

    /// Puts every controller-side output into the off state: both enables off (with a reset request to the
    /// interlock detection), cascade correction neutral and off, pulsed operation, set-point amplitude 0.
    void switchRFoff();
    /// The off state; returns at the next request, whatever it is.
    void rFoff();
    /// The error state: RF off, the message shown until the request to clear the error.
    void errorState(const std::string& message);
    /// Waits for the next trigger: false when it came; true when the state must be left because an
    /// interlock or a switch-off request was handled (by the error or the off state) meanwhile.
    bool waitTriggerOrAbort();
    /// The same test on the values at hand, without waiting.
    bool checkForAbort();
    /// Waits until every one of `inputs` was updated (DAQ traces, statistics), acting on an interlock or a
    /// switch-off request meanwhile as waitTriggerOrAbort() does: true when the state must be left. A wait for
    /// traces that stopped coming thus never keeps RF on.
    /// `beforeLeaving` runs before an abort is handled.
    bool waitForUpdatesOrAbort(const std::vector<Corvane::TransferElementID>& inputs,
        const std::function<void()>& beforeLeaving = {});
    /// Hands the operator's DAC offsets (plus the trial corrections of a calibration run) to the controller.
    void passThroughVMoffset();
    /// Manual mode: the operators' settings pass through to the controller; leaving it needs RF off.
    void manualMode();

    /// Ramp-up: drive on in open loop at the initial set point, feedback on (by Rampup/type), set point and
    /// gain ramped in steps while the vector sum and the controller error are watched; then cwAuto().
    void rampUp();
    /// Continuous-wave operation: the controller follows the operator's set point in limited steps per
    /// trigger and the operator's gain at once, until a switch-off request or an interlock.
    void cwAuto();
    /// Corrects the cascade input "CascadeInputAutomation" of the output calibration until the error vector
    /// is below its limit: true then; false after an abort or a failure (which went through the error state).
    bool outputVectorCorrection(bool closedLoop);
    /// The vector-modulator DAC offset calibration; ends in the off state (success) or the error state.
    void calibrateVMoffset();
    /// Sends the DAC offsets (I, Q) and returns the vector sum averaged over nTriggersAverage triggers;
    /// nullopt when the run has ended meanwhile (abort or failure, already handled).
    std::optional<std::pair<double, double>> calibrateVMoffsetMeasureDataPoint(double I, double Q);

    Server server{this, "/Server", "", {}};
    Configuration configuration{this, "/Configuration", "", {}};
    Operator _my{this, "Automation", "Automation for CW machines", {}};
    Controller controller{this, "Controller",
        "Outputs and readback process variables of the automation module, connected to the controller", {}};
    InterlockDetection interlockDetection{this, "InterlockDetection", "Connects to interlock detection", {}};
    /// Trial DAC offsets of a vector-modulator calibration run; 0 outside a run.
    double offsetCorrectionI{0.0};
    double offsetCorrectionQ{0.0};

   private:
    /// The error state's message for an interlock seen by a wait or in continuous-wave operation.
    static constexpr char interlockMessage[] = "Zero VS amplitude detected. Interlock tripped?";

    MODE_REQUEST request() const { return static_cast<MODE_REQUEST>(_my.requestMode.value()); }
    void setRequest(MODE_REQUEST mode) { _my.requestMode = static_cast<std::int32_t>(mode); }
    void showMode(CURRENT_MODE mode) { _my.currentMode.setAndWrite(static_cast<std::int32_t>(mode)); }
    /// Handles an update that ends a wait: an interlock (error state) or a switch-off request (off state).
    /// `beforeLeaving` runs first.
    bool abortsOn(const Corvane::TransferElementID& updated, const std::function<void()>& beforeLeaving = {});
    /// Turns interlock detection off, with a reset request when an interlock is latched.
    void disableInterlockDetection();
    /// Ramps the controller's gain to `target()` in Rampup/stepsizeGain steps while the error stays within
    /// Rampup/allowedError: true at the target, false after an abort or in the error state.
    bool rampGain(const std::function<double()>& target, const std::string& targetName);
    /// One measurement of a correction step: the ratio to correct by, the error magnitude and its limit.
    struct OutputError {
      std::complex<double> ratio;
      double magnitude, limit;
    };
    /// nullopt when the correction has ended meanwhile (abort, or the error state for a gain of 0 in closed loop).
    std::optional<OutputError> measureOutputError(bool closedLoop);
    /// Ends a calibration run: trial offsets 0, the operator's offsets back on the controller.
    void endVMoffsetTrial();
    /// Ends a calibration run in the error state with `message`.
    void failVMoffsetCalibration(const std::string& message);

    Corvane::ReadAnyGroup _group;
  };

  Main main{this, ".", ""};
  InterlockDetection interlockDetection{this, "InterlockDetection", "Detection of external interlocks"};
};
