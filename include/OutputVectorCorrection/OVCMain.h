// Output vector correction: compensates slow drifts of the drive path. It averages the controller's DAQ traces
// and the forward vector sum over a few macro-pulses in windows of the filling or flat-top, and then corrects
// the controller's output calibration ("/Controller/Output/Calibration/scale" and "angle") and the feed-forward
// flat-top/filling ratio ("/Controller/FeedForward/flattopRatio"), of which it is the only writer.
//
// Seven algorithms do the corrections: "OpenLoop" (Scaling, Rotation, Ratio) while feedback and learning
// feed-forward are both off, "ClosedLoop" (Scaling, Rotation, Ratio, Forward) while either is on. Operators may
// set the calibration and the ratio by hand while the algorithm that would change it is off. Slave (2) and
// monitoring-only (4) instances take the module out of the application.
//
// Everything runs in the module's own thread; the algorithms and windows call back into it (setError,
// applyLimitAndWriteRatio) only from there.
#pragma once

#include "OutputVectorCorrection/ClosedLoop.h"
#include "OutputVectorCorrection/Controller.h"
#include "OutputVectorCorrection/ForwardVectorSum.h"
#include "OutputVectorCorrection/OpenLoop.h"
#include "OutputVectorCorrection/Status.h"
#include "OutputVectorCorrection/Threshold.h"

#include <Corvane/ApplicationModule.h>
#include <Corvane/DataConsistencyGroup.h>
#include <Corvane/ReadAnyGroup.h>
#include <Corvane/UserInputValidator.h>

#include <array>
#include <cstdint>

namespace OutputVectorCorrection {

  class OVCMain : public Corvane::ApplicationModule {
   public:
    OVCMain(Corvane::Module* owner, const std::string& name, const std::string& description,
        const std::unordered_set<std::string>& tags = {});
    ~OVCMain() override = default;

    void prepare() override;
    void mainLoop() override;

    /// Shows `status` with `message` in "Status/algorithmStatus"; a message that differs from the one shown is
    /// logged once.
    void setError(const std::string& message, Corvane::StatusOutput::Status status);
    /// Keeps the flat-top amplitude, scale x ratio, within [totalScaleMin, totalScaleMax] and writes the ratio
    /// (and manualRatio, which shows the ratio in use). Nothing is written while the scale is not a usable number.
    void applyLimitAndWriteRatio();

    /// Samples per pulse ("Configuration/pulseLength").
    std::uint32_t pulseLength;

    struct Configuration : Corvane::VariableGroup {
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarPollInput<double> samplingFrequency{
          this, "samplingFrequency", "MHz", "IQ sampling frequency as used for the control tables"};
      Corvane::ScalarPollInput<std::uint8_t> vectorSumBitShift{
          this, "vectorSumBitShift", "", "Amount of bit shift of the vector sum in Firmware"};
      Corvane::ScalarPollInput<double> bitScaling{this, "bitScaling", "digits/G.U.", ""};
    } configuration;

    Corvane::ScalarPollInput<Corvane::Boolean> enable{
        this, "enable", "", "Enable the OVC if set to 1, disable if set to 0"};
    Corvane::ScalarPollInput<Corvane::Boolean> debug{this, "debug", "", "Enable debug output to server console"};
    Corvane::ScalarPushInputWB<double> manualRatio{this, "manualRatio", "",
        "Manual control for amplitude ratio flattop/filling, writes are only accepted if automatic adjustment is "
        "disabled"};
    Corvane::ScalarPushInputWB<double> totalScaleMax{
        this, "totalScaleMax", "", "Limit the total amplitude scaling including the manual OVC scaling."};
    Corvane::ScalarPushInputWB<double> totalScaleMin{
        this, "totalScaleMin", "", "Limit the total amplitude scaling including the manual OVC scaling."};
    Corvane::ScalarPollInput<std::uint32_t> nAveragedTriggers{this, "nAveragedTriggers", "",
        "Number of triggers to average over. The OVC will act only on every N triggers."};

    OpenLoop openLoop;
    ClosedLoop closedLoop;
    Threshold threshold;
    Status status;
    Controller controller;
    ForwardVectorSum forwardVectorSum;

    /// "Configuration/instanceType" is 1: the slave crate's forward vector sum is added.
    bool isMaster;
    /// Feedback or learning feed-forward is on (set by the main loop on every update).
    bool closedLoopActive{false};

   private:
    void setUpValidator();
    void reportInvalidInput(const std::string& message);
    void buildConsistencyGroup();
    /// Whether `changed` completes a consistent set of one macro-pulse not processed yet.
    bool completesConsistentSet(const Corvane::TransferElementID& changed);
    /// The read-back of scale or angle, or a manual write of scale, angle or ratio: accepted or refused.
    void handleCalibrationWrites(const Corvane::TransferElementID& changed);
    void acceptManualScale();
    /// One complete, consistent set of controller traces.
    void processTrigger();
    /// Corrects scale and angle at the end of an averaging cycle and writes them.
    void correctAndWrite();
    /// Vector-sum amplitude (digits) below which nothing is corrected.
    double amplitudeThreshold() const;

    std::array<SubAlgo*, 7> algorithms();
    std::array<AveragingWindow*, 8> windows();

    Corvane::UserInputValidator _validator;
    /// The station's own traces of one macro-pulse. A master's slave-crate share is not a member: it comes from
    /// outside (over the control system), where every write carries a version of its own that no set of the
    /// station's traces ever has, so requiring it would end every correction once it arrived. The latest share
    /// received is used with each set instead (zero until the first one).
    Corvane::DataConsistencyGroup _consistencyGroup;
    bool _slaveShareArrived{false};
    std::uint32_t _triggerCount{0};
    bool _inhibitLatch{false};
    bool _closedLoopSeen{false};
    /// A warning was reported since the start of the current correction.
    bool _warnedDuringCorrection{false};
  };

} // namespace OutputVectorCorrection
