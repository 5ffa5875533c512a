#include "TableGeneration/TGenMain.h"

#include "ConfigurationKeys.h"
#include "ConfigurationLimits.h"
#include "TableNumerics.h"

#include <Corvane/ConfigReader.h>
#include <Corvane/Exception.h>
#include <Corvane/ReadAnyGroup.h>

#include <cmath>
#include <iostream>
#include <sstream>

namespace TableGeneration {

  namespace {

    /// Prints `line` framed by rows of stars on standard output and throws
    /// `message`, which names the key.
    [[noreturn]] void refuse(const Corvane::ConfigReader& config, const std::string& line, const std::string& message,
        const std::string& key) {
      const std::string frame(69, '*');
      std::cout << frame << std::endl << line << std::endl << frame << std::endl;
      throw Corvane::logic_error(message + " (" + config.file().describe(key) + ")");
    }

    template<class T>
    std::string text(const T& value) {
      std::ostringstream s;
      s << value;
      return s.str();
    }

  } // namespace

  TGenMain::TGenMain(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description)
  : Corvane::ApplicationModule(owner, name, description),
    pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)),
    enablePerBunchSetpoints(appConfig().get<Corvane::Boolean>(enablePerBunchSetpointsKey)) {
    checkConfiguration();
    validator.setErrorFunction([this](const std::string& message) { setError(message); });
  }

  void TGenMain::checkConfiguration() const {
    const auto& cfg = appConfig();
    if(pulseLength == 0 || pulseLength > ConfigurationLimits::maxPulseLength) {
      refuse(cfg, " Pulse length in configuration is out of range: " + text(pulseLength),
          "Pulse length in configuration is out of range.", ConfigurationKeys::pulseLength);
    }
    // written so that NaN fails as well
    if(!(std::isfinite(config.rfFrequency) && config.rfFrequency >= 1.0)) {
      refuse(cfg, " RF frequency is out of range: " + text(config.rfFrequency), "RF frequency is out of range.",
          Configuration::rfFrequencyKey);
    }
    if(!enablePerBunchSetpoints) return;
    const auto regions = beamRegions.nMaxBeamRegions;
    const auto bunches = beamRegions.nMaxBunches;
    const auto tZero = beamRegions.tZero_samples;
    // the regions' transitions are bits of a 32-bit mask
    if(regions == 0 || regions % 2 != 0 || regions >= 32) {
      refuse(cfg,
          regions >= 32 ? " nMaxBeamRegions must be below 32: " + text(regions)
                        : " nMaxBeamRegions must be an even, positive number: " + text(regions),
          "nMaxBeamRegions is invalid.", BeamRegions::nMaxBeamRegionsKey);
    }
    if(bunches == 0 || std::uint64_t{tZero} + bunches > pulseLength) {
      refuse(
          cfg, " nMaxBunches out of range: " + text(bunches), "nMaxBunches is invalid.", BeamRegions::nMaxBunchesKey);
    }
  }

  void TGenMain::prepare() {
    using TableNumerics::finiteAbove;
    setError("");
    prepareGroup(pulseShape);
    prepareGroup(beamRegions);
    prepareGroup(feedForward);
    prepareGroup(setPoint);
    for(auto* input : {&config.samplingFrequency, &config.QLoaded, &config.QLoadedFudge, &config.bitScaling}) {
      validator.setFallback(*input, 1.0);
    }
    auto positive = [this](const std::string& message, Corvane::ScalarPushInputWB<double>& input) {
      validator.add(
          message, [&input] { return finiteAbove(input, 1e-6); }, input);
    };
    positive("Sampling frequency must be positive.", config.samplingFrequency);
    positive("QLoaded must be positive.", config.QLoaded);
    positive("QLoadedFudge must be positive.", config.QLoadedFudge);
    positive("Bit scaling factor must be positive.", config.bitScaling);
    validator.add(
        "VS bit shift was out of range.", [this] { return config.vectorSumBitShift <= 8; }, config.vectorSumBitShift);
  }

  void TGenMain::updateParameters(const Corvane::TransferElementID& change) {
    validator.validate(change);
    pulseShape.updateParameters(change);
    beamRegions.updateParameters(change);
    setPoint.updateParameters(change);
  }

  bool TGenMain::tablesMayBeWritten() const {
    return validator.lastAcceptedValue(config.vectorSumBitShift).has_value();
  }

  PerBunchFlattop TGenMain::perBunchFlattop() const { return beamRegions.perBunchFlattop(); }

  std::optional<std::string> TGenMain::unfitTable() const {
    for(const auto* table :
        {&feedForward.table.amplitude, &feedForward.table.phase, &setPoint.table.amplitude, &setPoint.table.phase}) {
      if(auto unfit = TableNumerics::firstUnfitElement(table->value(), table->getName())) return unfit;
    }
    return iqTables.refusal();
  }

  void TGenMain::updateTables() {
    _regenerations.fetch_add(1);
    feedForward.clearTables();
    setPoint.clearTables();
    feedForward.computeIndependent();
    const auto perBunch = perBunchFlattop();
    setPoint.computeAfterFeedForward(perBunch); // reads the feed-forward amplitude
    feedForward.computeAfterSetpoint(perBunch); // reads the set-point table
    iqTables.compute();
    if(auto unfit = unfitTable()) {
      setError("Generated tables refused: " + *unfit + "; the last tables stay in force.");
      return;
    }
    // one version for every table of this generation
    setCurrentVersionNumber(Corvane::VersionNumber{});
    setPoint.writeTables();
    feedForward.writeTables();
    if(tablesMayBeWritten()) iqTables.writeTables();
  }

  void TGenMain::setError(const std::string& message) {
    logger(Corvane::Logger::Severity::debug) << "ERROR in TableGeneration: " << message;
    errorMessage = message;
    errorMessage.write();
  }

  std::vector<Corvane::VariableNetworkNode> TGenMain::parameterInputs() {
    std::vector<Corvane::VariableNetworkNode> inputs;
    for(const auto& node : getAccessorListRecursive()) {
      if(!node.getTags().contains("PARAMS")) continue;
      const auto direction = node.getDirection();
      if(direction.dir == Corvane::VariableDirection::consuming || direction.withReturn) inputs.push_back(node);
    }
    return inputs;
  }

  bool TGenMain::isUnchangedBunchPattern(
      const Corvane::TransferElementID& change, const ParameterSnapshot& used) const {
    return enablePerBunchSetpoints && change == beamRegions.bunchIsTransition.getId() && used.unchanged(change);
  }

  void TGenMain::mainLoop() {
    updateParameters({});
    const auto inputs = parameterInputs();
    auto sources = inputs;
    for(const auto& output : beamRegions.flattopOutputs()) sources.push_back(output);
    ParameterSnapshot used(sources);
    updateTables();
    Corvane::ReadAnyGroup group;
    for(const auto& input : inputs) group.add(input);
    group.finalise();
    while(true) {
      const auto change = group.readAny();
      // no check and no regeneration for a pattern that is already in use
      if(isUnchangedBunchPattern(change, used)) continue;
      updateParameters(change);
      // every change already waiting joins this regeneration
      for(auto change = group.readAnyNonBlocking(); change.isValid(); change = group.readAnyNonBlocking()) {
        updateParameters(change);
      }
      // only the values the batch leaves behind count: rewrites with the value
      // in use, restored rejections and changes undone within the batch cause
      // no regeneration
      if(used.update()) updateTables();
    }
  }

} // namespace TableGeneration
