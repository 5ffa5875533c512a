#include "OutputVectorCorrection/OVCMain.h"

#include "ConfigurationKeys.h"
#include "InstanceType.h"

#include <Corvane/ConfigReader.h>
#include <Corvane/Logger.h>

#include <cmath>

namespace OutputVectorCorrection {

  namespace {

    constexpr auto OFF = Corvane::StatusOutput::OFF;
    constexpr auto FAULT = Corvane::StatusOutput::FAULT;
    constexpr auto WARNING = Corvane::StatusOutput::WARNING;
    constexpr auto error = Corvane::Logger::Severity::error;
    constexpr auto debugSeverity = Corvane::Logger::Severity::debug;

    constexpr double fallbackScaleMin = 0.1;
    constexpr double fallbackScaleMax = 2.0;
    constexpr double lowestSamplingFrequency = 0.01; // MHz

    bool isMasterInstance(const Corvane::ConfigReader& config) {
      return configuredInstanceType(config) == InstanceType::master;
    }

  } // namespace

  OVCMain::OVCMain(Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags)
  : Corvane::ApplicationModule(owner, name, description, tags),
    pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)),
    configuration(this, "/Configuration", ""),
    openLoop(this, *this, "OpenLoop",
        "Algorithms used in open loop operation (feedback and learning feed forward disabled)"),
    closedLoop(this, *this, "ClosedLoop",
        "Algorithms used in closed loop operation (feedback or learning feed forward enabled)"),
    threshold(this, "Threshold", "Thresholds within the OVC will be active"),
    status(this, "Status", "Status of the OVC algorithm"),
    controller(this, "/Controller", "Downstream connections to controller module etc.", pulseLength),
    forwardVectorSum(this, "/ForwardVectorSum", "Vector sum of the forward cavity signals", pulseLength,
        isMasterInstance(appConfig())),
    isMaster(isMasterInstance(appConfig())) {
    if(!runsOwnController(configuredInstanceType(appConfig()))) disable();
  }

  void OVCMain::prepare() { controller.feedForward.flattopRatio.write(); }

  std::array<SubAlgo*, 7> OVCMain::algorithms() {
    return {&openLoop.scaling, &openLoop.rotation, &openLoop.ratio, &closedLoop.scaling, &closedLoop.rotation,
        &closedLoop.ratio, &closedLoop.forward};
  }

  std::array<AveragingWindow*, 8> OVCMain::windows() {
    return {&openLoop.scaling.averagingWindow, &openLoop.rotation.averagingWindow, &openLoop.ratio.averagingWindow,
        &closedLoop.scaling.averagingWindow, &closedLoop.rotation.averagingWindow,
        &closedLoop.ratio.averagingWindowFilling, &closedLoop.ratio.averagingWindowFlattop,
        &closedLoop.forward.averagingWindow};
  }

  void OVCMain::setError(const std::string& message, Corvane::StatusOutput::Status statusValue) {
    auto& algorithmStatus = status.algorithmStatus;
    if(statusValue != Corvane::StatusOutput::OK) _warnedDuringCorrection = true;
    if(message != algorithmStatus.getMessage()) Corvane::logger(error, getName()) << "OVC: " << message << "\n";
    algorithmStatus.writeIfDifferent(statusValue, message);
  }

  void OVCMain::applyLimitAndWriteRatio() {
    const double scale = controller.output.calibration.scale;
    auto& ratio = controller.feedForward.flattopRatio;
    // an infinite scale would give ratio 0 (or NaN): no usable ratio follows from it
    if(std::isnan(scale)) {
      setError("Output scaling is NaN, cannot compute ratio", WARNING);
      return;
    }
    if(std::isinf(scale)) {
      setError("Output scaling is infinite, cannot compute ratio", WARNING);
      return;
    }
    if(totalScaleMin > scale) {
      setError("Output scaling below limit, cannot compute ratio", WARNING);
      return;
    }
    double r = ratio;
    if(totalScaleMin > r * scale) r = totalScaleMin / scale;
    else if(r * scale > totalScaleMax) r = totalScaleMax / scale;
    ratio = r;
    if(std::isfinite(r)) {
      ratio.write();
      manualRatio.writeIfDifferent(r);
      return;
    }
    ratio = manualRatio;
    setError("flattop ratio became NaN", WARNING);
  }

  void OVCMain::reportInvalidInput(const std::string& message) {
    Corvane::logger(debugSeverity, getName()) << "Error in OVC: " << message;
    status.validationError = message;
    status.validationError.write();
  }

  void OVCMain::setUpValidator() {
    _validator.setErrorFunction([this](const std::string& message) { reportInvalidInput(message); });
    _validator.setFallback(totalScaleMin, fallbackScaleMin);
    _validator.setFallback(totalScaleMax, fallbackScaleMax);
    // the limits must be finite: an infinite maximum would let an infinite scale through
    _validator.add(
        "Minimum total scaling must be bigger than zero.",
        [this] { return std::isfinite(totalScaleMin.value()) && totalScaleMin > 0.0; }, totalScaleMin);
    _validator.add(
        "Maximum total scaling must be bigger than minimum scaling.",
        [this] { return std::isfinite(totalScaleMax.value()) && totalScaleMax > totalScaleMin; }, totalScaleMax,
        totalScaleMin);
  }

  void OVCMain::buildConsistencyGroup() {
    for(const auto& node : getAccessorListRecursive()) {
      if(node.getTags().count(inputDataTag) == 0) continue;
      if(node.getDirection().dir == Corvane::VariableDirection::feeding) continue;
      if(node.getMode() != Corvane::UpdateMode::push) continue;
      _consistencyGroup.add(node);
    }
  }

  bool OVCMain::completesConsistentSet(const Corvane::TransferElementID& changed) {
    if(isMaster && !_slaveShareArrived &&
        (changed == forwardVectorSum.fromSlave.I.getId() || changed == forwardVectorSum.fromSlave.Q.getId())) {
      _slaveShareArrived = true;
      Corvane::logger(debugSeverity, getName())
          << "The slave crate's forward vector sum has arrived: its latest share is added from now on.";
    }
    return _consistencyGroup.update(changed);
  }

  void OVCMain::mainLoop() {
    setUpValidator();
    status.algorithmStatus.writeOk();
    status.validationError = "";
    status.validationError.write();

    if(lowestSamplingFrequency > configuration.samplingFrequency) {
      Corvane::logger(error, getName())
          << "!!! ERROR !!! Sampling frequency has not been set properly! OVC permanently disabled.";
      setError("Sampling frequency has not been set properly! OVC permanently disabled.", OFF);
      return;
    }

    auto& calibration = controller.output.calibration;
    calibration.scale = calibration.manual.scale;
    calibration.scale.write();
    calibration.angle = calibration.manual.angle;
    calibration.angle.write();
    controller.feedForward.flattopRatio = manualRatio;
    controller.feedForward.flattopRatio.write();

    auto group = readAnyGroup();
    buildConsistencyGroup();
    for(auto* window : windows()) window->computeWindowIndices({});
    _validator.validate({});

    auto lastValidity = getDataValidity();
    _triggerCount = 0;
    _inhibitLatch = false;
    _closedLoopSeen = false;

    while(true) {
      const auto changed = group.readAny();
      _validator.validate(changed);

      if(getDataValidity() != lastValidity) {
        if(lastValidity == Corvane::DataValidity::faulty) {
          openLoop.writeAll(false);
          closedLoop.writeAll(false);
          controller.writeAll(false);
        }
        lastValidity = getDataValidity();
      }

      if(controller.feedBack.enable || controller.feedForward.correction.enableLFF) {
        closedLoopActive = true;
        if(!_closedLoopSeen) {
          _closedLoopSeen = true;
          if(closedLoop.forward.referencePoint.autoStore != 0) closedLoop.forward.storeReference();
        }
      }
      else {
        closedLoopActive = false;
        _closedLoopSeen = false;
      }

      handleCalibrationWrites(changed);

      bool windowUnusable = false;
      for(auto* window : windows()) {
        if(window->computeWindowIndices(changed)) {
          windowUnusable = true;
          break;
        }
      }
      if(windowUnusable) continue;

      if(changed == closedLoop.forward.referencePoint.store.getId()) {
        closedLoop.forward.storeReference();
        continue;
      }

      if(!completesConsistentSet(changed)) continue;
      processTrigger();
    }
  }

  void OVCMain::handleCalibrationWrites(const Corvane::TransferElementID& changed) {
    auto& calibration = controller.output.calibration;
    auto& manual = calibration.manual;
    auto& ratio = controller.feedForward.flattopRatio;
    const bool forwardActs = closedLoop.forward.isEnabled();

    if(changed == calibration.scale.getId()) {
      manual.scale.setAndWrite(calibration.scale);
    }
    else if(changed == calibration.angle.getId()) {
      manual.angle.setAndWrite(calibration.angle);
    }
    else if(changed == manual.scale.getId()) {
      if(openLoop.scaling.isEnabled() || forwardActs || !std::isfinite(manual.scale.value())) {
        if(!std::isfinite(manual.scale.value())) reportInvalidInput("Manual scale must be a finite number.");
        manual.scale.setAndWrite(calibration.scale);
      }
      else {
        acceptManualScale();
      }
    }
    else if(changed == manual.angle.getId()) {
      if(openLoop.rotation.isEnabled() || forwardActs || !std::isfinite(manual.angle.value())) {
        if(!std::isfinite(manual.angle.value())) reportInvalidInput("Manual angle must be a finite number.");
        manual.angle.setAndWrite(calibration.angle);
      }
      else {
        calibration.angle.setAndWrite(manual.angle);
      }
    }
    else if(changed == manualRatio.getId()) {
      if(openLoop.ratio.isEnabled() || !std::isfinite(manualRatio.value())) {
        if(!std::isfinite(manualRatio.value())) reportInvalidInput("Manual ratio must be a finite number.");
        manualRatio.setAndWrite(ratio);
      }
      else {
        ratio = manualRatio;
        applyLimitAndWriteRatio();
      }
    }
  }

  void OVCMain::acceptManualScale() {
    auto& calibration = controller.output.calibration;
    auto& manual = calibration.manual;
    calibration.scale = manual.scale;
    if(calibration.scale > totalScaleMax) {
      manual.scale.setAndWrite(totalScaleMax);
      calibration.scale = totalScaleMax;
    }
    else if(totalScaleMin > calibration.scale) {
      manual.scale.setAndWrite(totalScaleMin);
      calibration.scale = totalScaleMin;
    }
    calibration.scale.write();
  }

  double OVCMain::amplitudeThreshold() const {
    // 2^shift as a double: exact for every shift, where a 32-bit shift of 32 or more is undefined
    return configuration.bitScaling / std::ldexp(1.0, configuration.vectorSumBitShift) * threshold.amplitude;
  }

  void OVCMain::processTrigger() {
    const std::uint32_t statusWord = controller.status.controllerStatusForOVC;
    const std::uint32_t mask = controller.status.bitmaskForInhibitAlgos;
    const bool bad = (statusWord & ~mask) != 0;
    if(bad || _inhibitLatch) {
      setError("Disabled due to controller status", OFF);
      _inhibitLatch = bad;
      return;
    }

    for(auto* algorithm : algorithms()) algorithm->integrate();
    if(++_triggerCount < nAveragedTriggers) return;
    for(auto* algorithm : algorithms()) algorithm->computeAverage();

    if(!enable) {
      setError("Disabled", OFF);
      _inhibitLatch = false;
      _triggerCount = 0;
      return;
    }
    if(amplitudeThreshold() > openLoop.scaling.vectorSum) {
      setError("OVC: Disabled due to low vector sum amplitude in scaling window", OFF);
      _triggerCount = 0;
      return;
    }
    correctAndWrite();
    _triggerCount = 0;
  }

  void OVCMain::correctAndWrite() {
    auto& calibration = controller.output.calibration;
    if(debug) {
      Corvane::logger(debugSeverity, getName())
          << "current ovc = " << calibration.scale.value() << " " << calibration.angle.value();
    }
    _warnedDuringCorrection = false;
    for(auto* algorithm : algorithms()) algorithm->compute();

    bool limitReached = false;
    if(calibration.scale > totalScaleMax) {
      calibration.scale = totalScaleMax;
      limitReached = true;
    }
    else if(totalScaleMin > calibration.scale) {
      calibration.scale = totalScaleMin;
      limitReached = true;
    }
    if(debug) {
      Corvane::logger(debugSeverity, getName())
          << "new ovc after limits = " << calibration.scale.value() << " " << calibration.angle.value() << "\n";
    }

    if(!std::isfinite(calibration.scale.value()) || !std::isfinite(calibration.angle.value())) {
      setError("OVC: Computations resulted in NaN", FAULT);
      calibration.scale = calibration.manual.scale;
      calibration.angle = calibration.manual.angle;
      return;
    }

    calibration.manual.scale = calibration.scale;
    calibration.manual.angle = calibration.angle;
    calibration.writeAll(false);
    calibration.manual.scale.write();
    calibration.manual.angle.write();
    // a correction that an algorithm skipped with a warning is no success: its message stays
    if(limitReached) setError("OVC reached limit", WARNING);
    else if(!_warnedDuringCorrection) status.algorithmStatus.writeOkIfDifferent();
  }

} // namespace OutputVectorCorrection
