// The output vector correction's connections below "/Controller": the controller's DAQ traces of one macro-pulse
// (tagged as the consistent input set), its feed-forward table, enables and status words, the pulse shape, the
// vector modulator's settings, and the output calibration that the module corrects, with the operators' manual
// values beside it.
#pragma once

#include "OutputVectorCorrection/InputDataTag.h"

#include <Corvane/ArrayAccessor.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>

namespace OutputVectorCorrection {

  /// The I and Q traces of one controller DAQ channel (L samples, "digits").
  struct DaqTraces : Corvane::VariableGroup {
    DaqTraces() = default;
    DaqTraces(Corvane::Module* owner, const std::string& name, const std::string& description,
        std::uint32_t pulseLength, const std::unordered_set<std::string>& tags = {})
    : Corvane::VariableGroup(owner, name, description, tags),
      I(this, "I", "digits", pulseLength, "Input I values"), Q(this, "Q", "digits", pulseLength, "Input Q values") {}
    Corvane::ArrayPushInput<float> I;
    Corvane::ArrayPushInput<float> Q;
  };

  class Controller : public Corvane::VariableGroup {
   public:
    Controller(Corvane::Module* owner, const std::string& name, const std::string& description,
        std::uint32_t pulseLength);

    struct FeedForward : Corvane::VariableGroup {
      FeedForward(Corvane::Module* owner, std::uint32_t pulseLength);
      struct Correction : Corvane::VariableGroup {
        using Corvane::VariableGroup::VariableGroup;
        Corvane::ScalarPollInput<Corvane::Boolean> enableLFF{this, "enableLFF", "", "Enable feed-forward correction tables"};
      } correction;
      Corvane::ScalarOutput<double> flattopRatio;
      struct Table : Corvane::VariableGroup {
        Table(Corvane::Module* owner, std::uint32_t pulseLength);
        Corvane::ArrayPollInput<double> I;
        Corvane::ArrayPollInput<double> Q;
      } table;
      DaqTraces daq;
    } feedForward;

    struct FeedBack : Corvane::VariableGroup {
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarPollInput<Corvane::Boolean> enable{this, "enable", "", ""};
    } feedBack;

    struct SetPoint : Corvane::VariableGroup {
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarPushInput<double> phase{this, "phase", "deg", ""};
    } setPoint;

    /// "Output/Proportional/DAQ": the feedback part of the controller output.
    DaqTraces feedBackOutput;

    struct Status : Corvane::VariableGroup {
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarPollInput<std::uint32_t> controllerStatusForOVC{this, "controllerStatusForOVC", "", ""};
      Corvane::ScalarPollInput<std::uint32_t> bitmaskForInhibitAlgos{this, "bitmaskForInhibitAlgos", "", ""};
    } status;

    struct VectorSum : Corvane::VariableGroup {
      VectorSum(Corvane::Module* owner, std::uint32_t pulseLength);
      struct DAQ : DaqTraces {
        DAQ(Corvane::Module* owner, std::uint32_t pulseLength);
        struct Samples : Corvane::VariableGroup {
          using Corvane::VariableGroup::VariableGroup;
          Corvane::ScalarPushInput<float> amplitude{this, "amplitude", "G.U.", "Amplitude"};
        } samples;
      } daq;
    } vectorSum;

    struct Output : Corvane::VariableGroup {
      Output(Corvane::Module* owner, std::uint32_t pulseLength);
      struct Total : Corvane::VariableGroup {
        Total(Corvane::Module* owner, std::uint32_t pulseLength);
        DaqTraces daq;
      } total;
      struct Calibration : Corvane::VariableGroup {
        Calibration(Corvane::Module* owner);
        Corvane::ScalarOutputPushRB<double> scale{this, "scale", "", "Scaling factor"};
        Corvane::ScalarOutputPushRB<double> angle{this, "angle", "deg", "Rotation angle"};
        struct Manual : Corvane::VariableGroup {
          using Corvane::VariableGroup::VariableGroup;
          Corvane::ScalarPushInputWB<double> scale{this, "scale", "", "Scaling factor", {"DAQ"}};
          Corvane::ScalarPushInputWB<double> angle{this, "angle", "deg", "Rotation angle", {"DAQ"}};
        } manual;
      } calibration;
    } output;

    struct Error : Corvane::VariableGroup {
      Error(Corvane::Module* owner, std::uint32_t pulseLength);
      DaqTraces daq;
    } error;

    struct PulseShape : Corvane::VariableGroup {
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarPushInput<double> delay{this, "delay", "us", "Delay of pulse start after start of sampling area"};
      Corvane::ScalarPushInput<double> fillingDuration{this, "fillingDuration", "us", "Duration of the filling period"};
      Corvane::ScalarPushInput<double> flattopDuration{
          this, "flattopDuration", "us", "Duration of the flat-top period"};
    } pulseShape;

    struct VectorModulator : Corvane::VariableGroup {
      using Corvane::VariableGroup::VariableGroup;
      struct DacOffset : Corvane::VariableGroup {
        using Corvane::VariableGroup::VariableGroup;
        Corvane::ScalarPollInput<std::int32_t> I{this, "I", "digits", "Offset compensation for I channel"};
        Corvane::ScalarPollInput<std::int32_t> Q{this, "Q", "digits", "Offset compensation for Q channel"};
      } dacOffset{this, "DacOffset", "Offset compensation values for the DAC"};
      Corvane::ScalarPollInput<Corvane::Boolean> qSign{this, "qSign", "", "Invert Q sign?"};
    } vectorModulator;
  };

} // namespace OutputVectorCorrection
