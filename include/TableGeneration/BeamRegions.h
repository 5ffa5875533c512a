// Per-bunch set-points: the operator gives the set-point of every bunch as an
// amplitude table, a phase table and a flag table that marks each bunch as part
// of a beam region (false) or of a transition between beam regions (true; such
// bunches hold NaN in both tables). The group checks the tables (range,
// consistency, finite beam values, slew rate of every transition and inside
// every beam region), splits the pattern into regions, publishes the accepted
// ("actual") tables and region indices, and switches per-bunch mode on only when
// the scalar set-point lies close enough to the first bunch. The outcome is in
// "tablesStatus"; a refused table leaves the actual tables as they were.
//
// Bunch b lies at sample tZero_samples + b of the pulse. The set-point and
// feed-forward flat-tops read the accepted tables through perBunchFlattop().
//
// Built only when the station configures per-bunch set-points; otherwise the
// table generation holds an ownerless placeholder whose operations do nothing.
// The table generation's thread runs everything here. A rewrite of
// "bunchIsTransition" with the contents in use is dropped by the table
// generation's main loop before it reaches this group (its parameter snapshot
// holds the contents the tables were last generated from).
#pragma once

#include "TableGeneration/BeamRegionScan.h"
#include "TableGeneration/PerBunchFlattop.h"
#include "TableGeneration/SubAlgo.h"

#include <Corvane/ArrayAccessor.h>
#include <Corvane/ConfigReader.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/StatusWithMessage.h>
#include <Corvane/TransferElementID.h>
#include <Corvane/VariableGroup.h>
#include <Corvane/VariableNetworkNode.h>

#include <llrf/MultiFlattopLimits.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace TableGeneration {

  class BeamRegions : public SubAlgo {
   public:
    using BeamRegionIndices = TableGeneration::BeamRegionIndices;

    // Configuration keys (uint32), checked by the table generation at start.
    static constexpr const char* nMaxBunchesKey = "Configuration/nMaxBunches";
    static constexpr const char* nMaxBeamRegionsKey = "Configuration/nMaxBeamRegions";
    static constexpr const char* tZeroKey = "Configuration/tZero_samples";

    BeamRegions(TGenMain* owner, const std::string& name, const std::string& description,
        const std::unordered_set<std::string>& tags);
    /// The placeholder when per-bunch set-points are not configured.
    BeamRegions();

    /// Fallbacks and checks of the inputs, then every output once with the
    /// status OFF.
    void prepare() override;

    /// After each validated change (the empty id at start): follows the slew
    /// radius, checks the tables when the change can affect them, and while
    /// per-bunch mode is on shows the first bunch in the scalar set-point (no
    /// slopes).
    void updateParameters(const Corvane::TransferElementID& change);
    /// Checks the tables and takes them as the actual ones when they pass; turns
    /// per-bunch mode on or off; reports in "tablesStatus".
    void checkPerBunchTablesAndUpdateActual(const Corvane::TransferElementID& change);
    /// The regions of the flat-top part of the pattern; reports a pattern with
    /// too many beam regions on the module's error message.
    BeamRegionIndices computeBeamRegionIndices();
    /// Publishes the slew-rate check of the tables; true when every transition
    /// and every beam region respects the limit.
    bool computeBunchOkRegionOkTables(const BeamRegionIndices& indices);

    /// The accepted tables and regions as the flat-top computations read them;
    /// enabled only while per-bunch mode is actually on.
    PerBunchFlattop perBunchFlattop() const;
    /// The outputs perBunchFlattop() reads (none for the placeholder): a table
    /// regeneration is due when one of them changed.
    std::vector<Corvane::VariableNetworkNode> flattopOutputs() const;

    class ShapeLimit : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      llrf::MultiFlattopLimits limits; // its radius follows "radius"
      Corvane::ScalarPushInputWB<double> radius{this, "radius", "a.u.", "Radius parameter"};
      Corvane::ScalarPushInputWB<double> deltaScalarSP{this, "deltaScalarSP", "G.U.",
          "Maximum setpoint difference between scalar and table when entering table mode"};
    };

    const std::uint32_t nMaxBunches{appConfig().get<std::uint32_t>(nMaxBunchesKey)};
    const std::uint32_t nMaxBeamRegions{appConfig().get<std::uint32_t>(nMaxBeamRegionsKey)};
    const std::uint32_t nMaxTransitionRegions{nMaxBeamRegions + 1};
    const std::uint32_t tZero_samples{appConfig().get<std::uint32_t>(tZeroKey)};

    ShapeLimit shapeLimit{this, "ShapeLimit", "Parameters to compute the maximum setpoint change per time"};
    Corvane::ScalarPushInputWB<Corvane::Boolean> enable{
        this, "enable", "", "Enable per-bunch tables, or use scalar setpoint otherwise."};
    Corvane::ScalarOutput<Corvane::Boolean> enableActual{
        this, "enableActual", "", "Status whether per-bunch tables are actually enabled."};
    Corvane::ArrayPushInput<double> amplitude{this, "amplitude", "G.U.", tableLength(), "Amplitude table"};
    Corvane::ArrayPushInput<double> phase{this, "phase", "deg", tableLength(), "Phase table"};
    Corvane::ArrayPushInput<Corvane::Boolean> bunchIsTransition{
        this, "bunchIsTransition", "", tableLength(), "Flag table whether bunch is in transition region"};
    Corvane::ArrayOutput<double> amplitudeActual{
        this, "amplitudeActual", "G.U.", tableLength(), "Actual amplitude table"};
    Corvane::ArrayOutput<double> phaseActual{this, "phaseActual", "deg", tableLength(), "Actual phase table"};
    Corvane::ArrayOutput<Corvane::Boolean> bunchIsTransitionActual{
        this, "bunchIsTransitionActual", "", tableLength(), "Actual flag table"};
    Corvane::ArrayOutput<double> transitionMinTime{this, "transitionMinTime", "us",
        regionTableLength(nMaxTransitionRegions),
        "Minimum time required for each transition. First index is transition region 0."};
    Corvane::ScalarOutput<std::uint32_t> transitionOk{this, "transitionOk", "",
        "Bit mask for each transition region whether the given time is sufficient. Lowest bit is transition "
        "region 0."};
    Corvane::ArrayOutput<Corvane::Boolean> bunchOk{this, "bunchOk", "", tableLength(),
        "Flag if bunch is ok. Note: transition regions will be set to true or false as a whole."};
    Corvane::StatusWithMessage tablesStatus{
        this, "tablesStatus", "Status whether the setpoint and bunch pattern tables are ok."};
    Corvane::ScalarOutput<std::uint32_t> nBeamRegions{this, "nBeamRegions", "", "Effective number of beam regions"};
    Corvane::ScalarOutput<std::uint32_t> nTransitionRegions{this, "nTransitionRegions", "",
        "Effective number of transition regions (including transition regions 0 and nBeamRegions even when having "
        "zero length)"};
    Corvane::ArrayOutput<std::uint32_t> startIndexBeam{this, "startIndexBeam", "", regionTableLength(nMaxBeamRegions),
        "Start sample index of each beam region. First index is beam region 1."};
    Corvane::ArrayOutput<std::uint32_t> startIndexTransition{this, "startIndexTransition", "",
        regionTableLength(nMaxTransitionRegions),
        "Start sample index of each transition region. First index is transition region 0."};

   private:
    /// Lengths as allocated: counts beyond the longest pulse or the most regions
    /// are refused by the table generation at start, after its members exist, so
    /// they are never allocated in full.
    std::size_t tableLength() const;
    std::size_t regionTableLength(std::uint32_t configured) const;

    /// Why the input tables cannot be used (the first fault found), if at all.
    std::optional<std::string> tableFault() const;
    /// Reports a refused or incomplete table while per-bunch mode is wanted.
    void warn(const std::string& message);
    /// Per-bunch mode would end a beam region early: one lies after the flat-top.
    bool beamRegionCut() const;
    /// First bunch of a beam region in `flags` (one exists in accepted tables).
    static std::size_t firstBeamBunch(const std::vector<Corvane::Boolean>& flags);
    /// Whether a change of this input can change the outcome of the check.
    bool startsCheck(const Corvane::TransferElementID& change) const;
  };

} // namespace TableGeneration
