#include "WindowLengthSetter.h"

#include <Corvane/StartUpRefusal.h>
#include <Corvane/UserInputValidator.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <utility>

WindowLengthSetter::~WindowLengthSetter() = default;

WindowLengthSetter::Scheme WindowLengthSetter::computeScheme(
    std::uint32_t decimation, std::uint32_t iqDetectionLength, double clockFrequency, std::uint64_t pulseLength) {
  // the product is formed wide: callers keep it within 32 bits, but a wrap must never happen here
  const std::uint64_t clocksPerSample = std::uint64_t{decimation} * iqDetectionLength;
  Scheme scheme{};
  scheme.samplingFrequency = clockFrequency / static_cast<double>(clocksPerSample);
  scheme.timingDivider = static_cast<std::uint32_t>(clocksPerSample - 1);
  scheme.samplingTime = 1.0 / scheme.samplingFrequency;
  scheme.windowLength = static_cast<double>(pulseLength) * scheme.samplingTime / 1000.0;
  return scheme;
}

bool WindowLengthSetter::productFits(std::uint32_t decimation, std::uint32_t iqDetectionLength) {
  return std::uint64_t{decimation} * iqDetectionLength <= std::numeric_limits<std::uint32_t>::max();
}

std::vector<std::string> WindowLengthSetter::configurationReport(
    std::uint32_t iqDetectionLength, double clockFrequency, double rfFrequency) {
  // written as "not at least" so that NaN counts as out of range too
  const bool clockInvalid = !(clockFrequency >= 1.0) || !std::isfinite(clockFrequency);
  const bool stopsStartUp =
      iqDetectionLength == 0 || iqDetectionLength > 1000 || clockInvalid || !(rfFrequency >= 1.0) ||
      !std::isfinite(rfFrequency);
  if(!stopsStartUp) return {};

  const std::string frame(95, '*');
  std::vector<std::string> lines{frame, " Configuration parameters out of range:"};
  if(iqDetectionLength == 0) lines.emplace_back(" iQdetectionLength must be non-zero");
  if(iqDetectionLength > 1000) lines.emplace_back(" iQdetectionLength out of range.");
  if(clockInvalid) {
    std::ostringstream line;
    line << " clockFrequency = " << clockFrequency << " MHz seems not to be valid.";
    lines.push_back(line.str());
  }
  // listed below 10 MHz, although only values below 1 MHz stop start-up by themselves
  if(!(rfFrequency >= 10.0) || !std::isfinite(rfFrequency)) {
    std::ostringstream line;
    line << " rfFrequency = " << rfFrequency << " MHz seems not to be valid.";
    lines.push_back(line.str());
  }
  lines.push_back(frame);
  return lines;
}

void WindowLengthSetter::prepare() {
  auto report = configurationReport(_iqDetectionLength, _clockFrequency, _rfFrequency);
  if(report.empty()) return;
  report.push_back(" (Configuration/IQdetectionLength, Configuration/clockFrequency and Configuration/rfFrequency of " +
      appConfig().file().fileName() + ")");
  throw Corvane::StartUpRefusal(std::move(report), Corvane::StartUpRefusal::Stream::standardError, 1);
}

void WindowLengthSetter::mainLoop() {
  Corvane::UserInputValidator validator;
  validator.setErrorFunction([this](const std::string& message) {
    // the log line names the module already ("[WindowLengthSetter]")
    logger(Corvane::Logger::Severity::warning) << message;
  });
  validator.setFallback(samplingDecimation, 1);
  validator.add(
      "Sampling decimation factor must not be zero.", [this] { return samplingDecimation != 0u; }, samplingDecimation);
  // Guards changes only: a decimation restored at start-up is kept whatever the RF state (at the
  // first check nothing has been accepted yet), and rewriting the accepted value is no change.
  validator.add(
      "Sampling decimation factor cannot be changed with RF on in pulsed mode.",
      [this, &validator] {
        if(cwMode != 0 || (!feedForwardEnable && !feedBackEnable)) return true;
        auto accepted = validator.lastAcceptedValue(samplingDecimation);
        return !accepted || *accepted == samplingDecimation;
      },
      samplingDecimation);
  validator.add(
      "Sampling decimation factor times IQ detection length must not exceed 4294967295.",
      [this] { return productFits(samplingDecimation, _iqDetectionLength); }, samplingDecimation);

  // The four push inputs only, not the read-backs of the outputs: the gain table writes its
  // rejected copy of the frequency back, and answering that with a rewrite would never end.
  Corvane::ReadAnyGroup group{samplingDecimation, feedForwardEnable, feedBackEnable, cwMode};
  Corvane::TransferElementID change;
  while(true) {
    validator.validate(change);

    auto scheme = computeScheme(samplingDecimation, _iqDetectionLength, _clockFrequency, _pulseLength);
    samplingFrequency.writeIfDifferent(scheme.samplingFrequency);
    if(_gainTableCopy) samplingFrequencyForGainTable.writeIfDifferent(samplingFrequency.value());
    timingDividerController.writeIfDifferent(scheme.timingDivider);
    timingDividerTables.writeIfDifferent(timingDividerController.value());
    samplingTime.writeIfDifferent(scheme.samplingTime);
    windowLength.writeIfDifferent(scheme.windowLength);

    change = group.readAny();
  }
}
