// Learning feed-forward: learns, from pulse to pulse, a pair of correction tables (I and Q) for the controller's
// feed-forward table from the controller error "/Controller/Error/DAQ/I" and "Q". The error is averaged over
// "triggerDecimation" pulses; a model-based backward recursion over the learning window (LearningFeedForwardKernels.h)
// adds its correction to the tables, which are then filtered, limited to "outputLimit" and published as
// "/Controller/FeedForward/Correction/LearningFeedForward/I" and "Q", where the feed-forward table adds them while
// its "enableLFF" is set. The outcome of every pass is reported in "/LearningFeedForward/message".
//
// Named "." by the application, so its groups lie at the root of the tree: "/LearningFeedForward" (parameters and
// status), "/Configuration" and "/Controller". Slave (2) and monitoring-only (4) instances take it out.
//
// Safety rules beyond the plain algorithm: settings that would put any index of a cycle (error window, learning
// window and its shifted image, FIR edge samples, smoothing range, model order) outside the tables or the matrix
// arrays skip that cycle with a message; so does a time x sampling frequency that is not a finite sample index,
// and a model that yields values that are not finite. The tables therefore only ever hold finite values. The FIR
// filter leaves the edge samples it cannot average at each table's own values. A set-point phase that is not
// finite rotates nothing.
//
// One thread, the module's own; no lock.
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/ArrayAccessor.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

class LearningFeedForward : public Corvane::ApplicationModule {
 public:
  LearningFeedForward(Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});
  ~LearningFeedForward() override;
  void mainLoop() override;

  /// Operator parameters, the model matrices and the status: "/LearningFeedForward".
  class ConfigurationAndStatus : public Corvane::VariableGroup {
   public:
    ConfigurationAndStatus(Corvane::Module* owner, const std::string& name, const std::string& description);

    std::uint32_t pulseLength;
    Corvane::ScalarPollInput<Corvane::Boolean> enable{this, "enable", "", "Enable the learning feed forward control"};
    Corvane::ScalarPushInput<std::int32_t> reset{this, "reset", "", "Clear the feed forward correction table"};
    Corvane::ScalarPollInput<std::uint32_t> triggerDecimation{
        this, "triggerDecimation", "", "Run the algorithm every N triggers"};
    Corvane::ScalarPollInput<double> startTime{this, "startTime", "us",
        "Start time of the learning feed forward control,relative to the beginning of the filling period"};
    Corvane::ScalarPollInput<double> stopTime{this, "stopTime", "us",
        "Stop time of the learning feed forward control,relative to the end of the flattop period"};
    Corvane::ScalarPollInput<double> maxControlError{
        this, "maxControlError", "", "Maximum error of the RF controller, if exceeded LFF will be paused."};
    Corvane::ScalarPollInput<double> minControlError{
        this, "minControlError", "", "Minimum error of the RF controller, if falls below LFF will be paused."};
    Corvane::ScalarPollInput<std::int32_t> shiftCorrectionTable{
        this, "shiftCorrectionTable", "", "Shift the generated correction tables by N indices"};
    Corvane::ScalarPollInput<std::uint32_t> outputLimit{
        this, "outputLimit", "bits", "Limit of the output correction tables"};
    Corvane::ScalarPollInput<Corvane::Boolean> firEnable{
        this, "firEnable", "", "Enable FIR filter when LFF below threshold"};
    Corvane::ScalarPollInput<std::uint32_t> firTap{this, "firTap", "", "Number of taps for the FIR filter"};
    Corvane::ScalarPollInput<std::uint32_t> firExtraTriggerDecimation{
        this, "firExtraTriggerDecimation", "", "Do FIR filtering only every N runs of the algorithms"};
    Corvane::ScalarPollInput<Corvane::Boolean> smoothingEnable{
        this, "smoothingEnable", "", "enable smoothing filtering of steep transients"};
    Corvane::ScalarPollInput<double> smoothingStopTime{
        this, "smoothingStopTime", "us", "Stop time for the smoothing filter"};
    Corvane::ScalarPollInput<std::uint32_t> smoothingTap{
        this, "smoothingTap", "", "Number of taps for the smoothing filter"};
    Corvane::ScalarOutput<std::string> message{this, "message", "", "Status message of the LFF algorithm"};
    Corvane::ScalarOutput<std::int32_t> isLimited{
        this, "isLimited", "", "Indicator whether the output correction tables were limited by outputLimit"};
    Corvane::ScalarPollInput<std::uint32_t> modelOrder{this, "modelOrder", "", "Order of the system model"};
    Corvane::ScalarPollInput<Corvane::Boolean> matrixEnableShort{
        this, "matrixEnableShort", "", "Enable short matrices"};
    // sized for model orders up to 6: 6 x 6 values of beta and 6 x 2 of gamma per sample, 2 x 6 of omega
    Corvane::ArrayPollInput<float> matrixBeta{this, "matrixBeta", "", 36 * pulseLength, "Matrix beta"};
    Corvane::ArrayPollInput<float> matrixGamma{this, "matrixGamma", "", 12 * pulseLength, "Matrix gamma"};
    Corvane::ArrayPollInput<float> matrixOmega{this, "matrixOmega", "", 12, "Matrix omega"};
    Corvane::ArrayPollInput<float> matrixBetaShort{this, "matrixBetaShort", "", 36, "Matrix beta, short version"};
    Corvane::ArrayPollInput<float> matrixGammaShort{this, "matrixGammaShort", "", 12, "Matrix gamma, short version"};
  };

  /// "/Configuration": the sampling frequency of the control tables.
  class Configuration : public Corvane::VariableGroup {
   public:
    using Corvane::VariableGroup::VariableGroup;
    Corvane::ScalarPollInput<double> samplingFrequency{
        this, "samplingFrequency", "MHz", "IQ sampling frequency as used for the control tables"};
  };

  /// "/Controller": the connection to the controller tree and the table generation.
  class Controller : public Corvane::VariableGroup {
   public:
    using Corvane::VariableGroup::VariableGroup;

    class FeedForward : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;

      class Correction : public Corvane::VariableGroup {
       public:
        using Corvane::VariableGroup::VariableGroup;

        /// The learned correction tables, written by this module.
        class LFF : public Corvane::VariableGroup {
         public:
          LFF(Corvane::Module* owner, const std::string& name, const std::string& description);

          std::uint32_t pulseLength;
          Corvane::ArrayOutput<float> I{this, "I", "digits", pulseLength, "Feed forward correction table for I"};
          Corvane::ArrayOutput<float> Q{this, "Q", "digits", pulseLength, "Feed forward correction table for Q"};
        };

        LFF learningFeedForward{this, "LearningFeedForward", ""};
      };

      Corvane::ScalarPollInput<Corvane::Boolean> enable{this, "enable", "", "Enable feed-forward"};
      Correction correction{this, "Correction", "Feed forward correction"};
    };

    class FeedBack : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarPollInput<Corvane::Boolean> enable{this, "enable", "", "Enable proportional feedback controller"};
    };

    class Error : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;

      /// The controller error trace: the module's pace, one pass per update of both.
      class DAQ : public Corvane::VariableGroup {
       public:
        DAQ(Corvane::Module* owner, const std::string& name, const std::string& description);

        std::uint32_t pulseLength;
        Corvane::ArrayPushInput<float> I{this, "I", "digits", pulseLength, "Raw I values"};
        Corvane::ArrayPushInput<float> Q{this, "Q", "digits", pulseLength, "Raw Q values"};
      };

      DAQ daq{this, "DAQ", "DAQ"};
    };

    class Status : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarPollInput<std::uint32_t> controllerStatusForLFF{this, "controllerStatusForLFF", "", ""};
      Corvane::ScalarPollInput<std::uint32_t> bitmaskForInhibitAlgos{this, "bitmaskForInhibitAlgos", "", ""};
    };

    class PulseShape : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarPollInput<std::int32_t> cwMode{
          this, "cwMode", "", "If true, the pulse form parameters will be changed for contineous-wave operation"};
      Corvane::ScalarPollInput<double> delay{this, "delay", "us", "Delay of pulse start after start of sampling area"};
      Corvane::ScalarPollInput<double> fillingDuration{this, "fillingDuration", "us", "Duration of the filling period"};
      Corvane::ScalarPollInput<double> flattopDuration{
          this, "flattopDuration", "us", "Duration of the flat-top period"};
    };

    class SetPoint : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarPollInput<double> phase{this, "phase", "", "Setpoint phase"};
    };

    FeedForward feedForward{this, "FeedForward", "Feed forward"};
    FeedBack feedBack{this, "FeedBack", "Feed back"};
    Error error{this, "Error", "Controller input"};
    Status status{this, "Status", "Controller status"};
    PulseShape pulseShape{this, "PulseShape", "Pulse shape parameters"};
    SetPoint setPoint{this, "SetPoint", "Setpoint"};
  };

  /// Samples per pulse ("Configuration/pulseLength").
  std::uint32_t pulseLength;
  /// Work table of the two filters, exchanged with a correction table at the end of each filter run.
  std::vector<float> scratchTable;
  std::int32_t pulseStartIndex{0};
  std::int32_t learningStartIndex{0};
  /// End of the learning window; the recursion starts at learningStopIndex - 1.
  std::int32_t learningStopIndex{0};
  /// Controller error averaged over "triggerDecimation" pulses.
  std::vector<float> averagedErrorI;
  std::vector<float> averagedErrorQ;

  ConfigurationAndStatus configurationAndStatus{
      this, "LearningFeedForward", "Adaptive feed forward controller algorithm."};
  Configuration configuration{this, "Configuration", ""};
  Controller controller{this, "Controller", "Connection to the Controller module"};

 private:
  /// State of the main loop, kept for the life of the thread.
  struct LoopState {
    std::uint32_t averageCount{0};
    std::uint32_t pauseCount{0};
    std::uint32_t firRunCount{0};
    bool previousStatusBad{false};
    double lastSetPointPhase{0.0};
  };

  /// One pass of the main loop, after the controller's error trace and poll inputs have been read.
  void pass(LoopState& state);
  /// Clears both tables, writes them and reports the reset.
  void resetTables();
  /// Turns both tables by a set-point phase change of more than 0.001 degrees and writes them.
  void followSetPointPhase(LoopState& state);
  /// Whether the pass may go on to the averaging (enables, mode and controller status); reports why not.
  bool learningAllowed(LoopState& state);
  void accumulateError(const LoopState& state);
  /// Sets the three indices of this cycle; the reason when they are no finite sample indices.
  std::optional<std::string> computeWindow();
  /// The largest squared error over the error window; the reason when that window leaves the table.
  std::optional<std::string> maximumError(double& maximum) const;
  /// The reason why this cycle's learning and filters would leave the tables or the matrix arrays, if any.
  std::optional<std::string> learningIndexProblem(bool firCycle) const;
  /// Clamps both tables to "outputLimit", writes them and "isLimited", and reports the outcome.
  void limitAndWrite();

  /// The recursion's correction added to both tables; false (tables unchanged) when it is not finite.
  bool applyLearning();
  void firFilter(Corvane::ArrayOutput<float>& table);
  void smoothingFilter(Corvane::ArrayOutput<float>& table);
  /// "smoothingStopTime" x "samplingFrequency" as a sample index (an index beyond the table as pulseLength + 1,
  /// zero for a negative time); nullopt when it is not finite.
  std::optional<std::uint64_t> smoothingStopIndex() const;
  void setMessage(const std::string& text);

  /// The recursion's per-sample corrections of the current cycle, before they are added to the tables.
  std::vector<float> _incrementI;
  std::vector<float> _incrementQ;
};
