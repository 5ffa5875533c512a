// The table generation: turns the operators' pulse, feed-forward, set-point and
// per-bunch parameters into the controller's feed-forward and set-point tables.
// The controller builds it first, named ".", so that its variables lie directly
// in "/Controller" (its configuration group at "/Configuration").
//
// One thread: every change of an input tagged "PARAMS" is checked by the
// module's input validator (a rejected value returns to its last accepted value
// and is written back, with the rule's message on "errorMessage"), the
// sub-algorithms update their derived parameters in a fixed order, and the
// tables are regenerated once for all changes that arrived meanwhile, unless
// every input then holds the value the last regeneration used. Start-up
// is refused for configurations no table can be built from.
//
// A regeneration computes the feed-forward and set-point amplitude and phase
// tables and their I/Q forms, then publishes them all with one new version
// number (so that a reader can pair the feed-forward I and Q of one
// generation); the set-point I/Q table goes into the board's double buffer
// under the firmware table lock. A regeneration whose tables hold a value that
// is not finite (or beyond single precision) publishes nothing and says so on
// "errorMessage": the last tables stay in force. With per-bunch set-points the
// unchanged check also covers the accepted per-bunch tables, a rewrite of the
// per-bunch pattern "bunchIsTransition" with the contents in use is dropped
// before any check, and the flat-tops come from the accepted per-bunch tables
// while per-bunch mode is in force.
#pragma once

#include "MultiClientFirmwareMutex.h"
#include "TableGeneration/BeamRegions.h"
#include "TableGeneration/Configuration.h"
#include "TableGeneration/FeedForward.h"
#include "TableGeneration/IQTables.h"
#include "TableGeneration/PerBunchFlattop.h"
#include "TableGeneration/ParameterSnapshot.h"
#include "TableGeneration/PulseShape.h"
#include "TableGeneration/SetPoint.h"

#include <Corvane/AggregatableMessage.h>
#include <Corvane/ApplicationModule.h>
#include <Corvane/ModuleGroup.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/TransferElementID.h>
#include <Corvane/UserInputValidator.h>
#include <Corvane/VariableGroup.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace TableGeneration {

  class TGenMain : public Corvane::ApplicationModule {
   public:
    /// Throws Corvane::logic_error (after a framed report on standard output) for
    /// a configuration no table can be built from: pulse length 0 or beyond the
    /// station's tables, an RF frequency below 1 MHz or not finite, and with
    /// per-bunch set-points a number of beam regions that is 0, odd or 32 and
    /// more, no bunch, or bunches beyond the pulse.
    TGenMain(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description);

    /// Source name of the module's log lines.
    static constexpr const char* logSource = "TGenMain";
    /// Key of the per-bunch switch (boolean).
    static constexpr const char* enablePerBunchSetpointsKey = "Configuration/enablePerBunchSetpoints";

    /// Clears the error message and registers every input check.
    void prepare() override;
    void mainLoop() override;

    /// Checks the change (every rule for an empty id) and updates the
    /// sub-algorithms' derived parameters.
    void updateParameters(const Corvane::TransferElementID& change);
    /// Regenerates the tables from the current accepted values.
    void updateTables();
    /// Logs the message and publishes it on "errorMessage".
    void setError(const std::string& message);

    /// Tables go to the firmware only once the vector-sum bit shift has an
    /// accepted value (it has no fallback).
    bool tablesMayBeWritten() const;
    /// Regenerations since start (the first pass included); read from any thread.
    /// A batch of changes that leaves every input at the value the last
    /// regeneration used (a rewrite with the same value, a restored rejection,
    /// a write and its undo) adds none.
    std::uint64_t regenerationCount() const { return _regenerations.load(); }

    /// The frequency offset applied to every table as a linear phase ramp.
    class FrequencyModulation : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarPushInput<Corvane::Boolean> enable{this, "enable", "", "Apply specified frequency offset"};
      Corvane::ScalarPushInput<double> offset{this, "offset", "kHz", "Frequency offset"};
    };

    Corvane::UserInputValidator validator;
    MultiClientFirmwareMutex::ClientInterface tableBufferLock{this, "/Controller/Configuration/tableBufferMode"};
    std::uint64_t pulseLength;
    bool enablePerBunchSetpoints;
    Configuration config{this, "/Configuration", "", {"PARAMS"}};
    FrequencyModulation frequencyModulation{
        this, "FrequencyModulation", "Change RF frequency by rotating the phase", {"DAQ", "PARAMS"}};
    PulseShape pulseShape{this, "PulseShape", "Pulse shape parameters", {"DAQ", "PARAMS"}};
    FeedForward feedForward{this, "FeedForward", "Feed-forward table generation", {"DAQ", "PARAMS"}};
    SetPoint setPoint{this, "SetPoint", "Setpoint table generation", {"DAQ", "PARAMS"}};
    BeamRegions beamRegions{enablePerBunchSetpoints
            ? BeamRegions(this, "SetPoint/PerBunch", "Per-bunch setpoint tables", {"DAQ", "PARAMS"})
            : BeamRegions()};
    IQTables iqTables{this, ".", "Compute I/Q version of the tables", {"DAQ", "PARAMS"}};
    Corvane::AggregatableMessage errorMessage{
        this, "errorMessage", "", "Error message from table generation, when passing incorrect parameters"};

   private:
    /// The start-up checks of the configuration.
    void checkConfiguration() const;
    /// The per-bunch flat-top the set-point and feed-forward flat-tops read
    /// (enabled only while per-bunch mode is in force).
    PerBunchFlattop perBunchFlattop() const;
    /// Why the computed tables cannot leave the module, or nullopt.
    std::optional<std::string> unfitTable() const;
    /// Every "PARAMS" input the main loop waits on.
    std::vector<Corvane::VariableNetworkNode> parameterInputs();
    /// Whether a change is a rewrite of the per-bunch pattern with the contents
    /// the tables were last generated from.
    bool isUnchangedBunchPattern(const Corvane::TransferElementID& change, const ParameterSnapshot& used) const;

    std::atomic<std::uint64_t> _regenerations{0};
  };

} // namespace TableGeneration
