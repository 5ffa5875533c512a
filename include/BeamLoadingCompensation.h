// Beam loading compensation: prepares the parameters of the controller firmware's beam loading compensation and
// computes no correction itself. It forwards the operators' compensation tables, each new table with a toggle of
// its own swap flag; converts the pulse and beam timing from microseconds into absolute sample numbers of the
// firmware's rate "Configuration/clockFrequency" / "Configuration/IQdetectionLength"; turns the limiter's phase
// limits into cosines and sines; and holds a rotation/scaling module. Its outputs are meant for the firmware only
// and reach the board through registers of the same paths.
//
// Every instance type above 1 (compared unsigned, so negative ones too) takes the whole group out.
//
// Safety rules beyond the plain forwarding: a time whose sample number is not finite or lies beyond 64 bits keeps
// all three previous timing outputs, with a warning; a limiter angle that is not finite keeps its previous cosine
// and sine, with a warning. Each module runs in its own thread and touches only its own variables; no lock.
#pragma once

#include "RotationParameter.h"

#include <Corvane/ApplicationModule.h>
#include <Corvane/ArrayAccessor.h>
#include <Corvane/ModuleGroup.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

class BeamLoadingCompensation : public Corvane::ModuleGroup {
 public:
  BeamLoadingCompensation(Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});
  ~BeamLoadingCompensation() override;

  /// The operators' compensation tables, forwarded to the firmware with a buffer-swap toggle per new table.
  class UserTables : public Corvane::ApplicationModule {
   public:
    UserTables(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description);
    ~UserTables() override;
    void mainLoop() override;

    class UserTable : public Corvane::VariableGroup {
     public:
      UserTable(Corvane::Module* owner, const std::string& name, const std::string& description);

      std::uint32_t pulseLength;
      Corvane::ArrayPushInput<std::int32_t> I{this, "I", "digits", pulseLength, "I component"};
      Corvane::ArrayPushInput<std::int32_t> Q{this, "Q", "digits", pulseLength, "Q component"};
    };

    class Output : public Corvane::VariableGroup {
     public:
      Output(Corvane::Module* owner, const std::string& name, const std::string& description, std::uint32_t length);

      Corvane::ArrayOutput<std::int32_t> userTableI;
      Corvane::ArrayOutput<std::int32_t> userTableQ;
      Corvane::ScalarOutput<Corvane::Boolean> swapTableI{this, "swapTableI", "", "Swap userTableI in Firmware"};
      Corvane::ScalarOutput<Corvane::Boolean> swapTableQ{this, "swapTableQ", "", "Swap userTableQ in Firmware"};
    };

    std::uint32_t pulseLength;
    UserTable userTable{this, "UserTable", "User-defined compensation table"};
    Output output{this, "/BeamLoadingCompensation", "", pulseLength};

   private:
    /// Moves the new table of `input` into `table` without copying its elements and toggles `swap`.
    void forward(Corvane::ArrayPushInput<std::int32_t>& input, Corvane::ArrayOutput<std::int32_t>& table,
        Corvane::ScalarOutput<Corvane::Boolean>& swap);

    std::vector<std::int32_t> _scratch;
  };

  /// The pulse and beam timing in absolute samples.
  class PulseShape : public Corvane::ApplicationModule {
   public:
    PulseShape(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description);
    ~PulseShape() override;
    void mainLoop() override;

    /// `microseconds` x `samplesPerMicrosecond` truncated toward zero and kept in its low 32 bits (a negative time
    /// gives the two's complement); nullopt when the product is not finite or lies beyond 64 bits.
    static std::optional<std::uint32_t> absoluteSample(double microseconds, double samplesPerMicrosecond);

    /// Sample number meaning "never ends" (and, for the pulse stop, continuous-wave operation).
    static constexpr std::uint32_t endless = 4294967295U;

    class Controller : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;

      class PulseShape : public Corvane::VariableGroup {
       public:
        using Corvane::VariableGroup::VariableGroup;

        Corvane::ScalarPushInput<std::int32_t> cwMode{this, "cwMode", "", ""};
        Corvane::ScalarPushInput<double> delay{this, "delay", "us", ""};
        Corvane::ScalarPushInput<double> fillingDuration{this, "fillingDuration", "us", ""};
        Corvane::ScalarPushInput<double> flattopDuration{this, "flattopDuration", "us", ""};
        /// Counted from the end of the filling period.
        Corvane::ScalarPushInput<double> beamStart{this, "beamStart", "us", ""};
        Corvane::ScalarPushInput<double> beamDuration{this, "beamDuration", "us", ""};
      };

      PulseShape pulseShape{this, "PulseShape", ""};
    };

    class Output : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarOutput<std::uint32_t> pulseStopAbsolute{this, "pulseStopAbsolute", "samples", "End of flattop"};
      Corvane::ScalarOutput<std::uint32_t> beamStartAbsolute{
          this, "beamStartAbsolute", "samples", "Start of expected beam"};
      Corvane::ScalarOutput<std::uint32_t> beamStopAbsolute{
          this, "beamStopAbsolute", "samples", "End of expected beam"};
    };

    std::uint32_t iqDetectionLength;
    double clockFrequency;
    Controller controller{this, "/Controller", ""};
    Output output{this, "/BeamLoadingCompensation/PulseShape", "Output registers"};

   private:
    /// Computes the three sample numbers and writes them; keeps the previous ones when one is not representable.
    void update(double samplesPerMicrosecond);
  };

  /// The phase limits of the compensation as cosines and sines.
  class Limiter : public Corvane::ApplicationModule {
   public:
    using Corvane::ApplicationModule::ApplicationModule;
    ~Limiter() override;
    void mainLoop() override;

    class Phase : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarPushInput<double> max{this, "max", "deg", "Upper angle limit"};
      Corvane::ScalarPushInput<double> min{this, "min", "deg", "Lower angle limit"};
      Corvane::ScalarOutput<float> maxCosine{this, "maxCosine", "", "Cosine of upper angle limit"};
      Corvane::ScalarOutput<float> maxSine{this, "maxSine", "", "Sine of upper angle limit"};
      Corvane::ScalarOutput<float> minCosine{this, "minCosine", "", "Cosine of lower angle limit"};
      Corvane::ScalarOutput<float> minSine{this, "minSine", "", "Sine of lower angle limit"};
    };

    Phase phase{this, "Phase", ""};

   private:
    /// Sets cosine and sine of `degrees`; a limit that is not finite keeps the previous pair, with a warning.
    void convert(
        const char* name, double degrees, Corvane::ScalarOutput<float>& cosine, Corvane::ScalarOutput<float>& sine);
  };

  llrf::RotationParameter rotation{this, "Rotation", "", 1, 0.0, -1.0, false};
  UserTables userTables{this, ".", ""};
  PulseShape pulseShape{this, "PulseShape", "Write pulse shape and beam information to hardware"};
  Limiter limiter{this, "Limiter", "Limiter for BLC action"};
};
