#include "GainTable.h"

#include "ConfigurationKeys.h"
#include "TableNumerics.h"

#include <Corvane/ConfigReader.h>
#include <Corvane/Exception.h>
#include <Corvane/ReadAnyGroup.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

  constexpr const char* thisFile = __FILE__;

} // namespace

GainTable::GainTable(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description,
    const std::unordered_set<std::string>& tags)
: Corvane::ApplicationModule(owner, name, description, tags),
  _pulseLength(static_cast<std::int32_t>(std::min<std::uint32_t>(
      appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength), std::numeric_limits<std::int32_t>::max()))) {}

void GainTable::prepare() {
  validator.setErrorFunction([this](const std::string& message) { setError(message); });
  setError("");
  validator.setFallback(configuration.samplingFrequency, 1.0);
  validator.setFallback(gain.scheduling.startTime, 0.0);
  addRules();
}

void GainTable::addRules() {
  auto& fs = configuration.samplingFrequency;
  auto& pulseDelay = pulseShape.delay;
  auto& filling = pulseShape.fillingDuration;
  auto& flattop = pulseShape.flattopDuration;
  auto& scheduling = gain.scheduling;
  // each predicate computes the indices from the values it sees, so that the checks that follow a restored
  // value judge the restored value
  auto rule = [this](const std::string& message, auto condition, auto&... inputs) {
    validator.add(
        message,
        [this, condition] {
          computeIndices();
          return condition();
        },
        inputs...);
  };
  auto scheduled = [&scheduling] { return scheduling.functionSelect != 0; };
  rule("Gain scheduling negative table delay bigger than pulse delay.", [this] { return _index_delay >= 0; },
      gain.delay, pulseDelay, fs);
  rule("Pulse delay out of range", [this] { return _index_delay >= 0 && _index_delay < _pulseLength; }, pulseDelay,
      fs);
  rule("Flattop end (incl. table delay) out of range",
      [this] { return _index_flattop_end >= 0 && _index_flattop_end < _pulseLength; }, pulseDelay, filling, flattop,
      gain.delay, fs);
  rule("Flattop end before filling start not allowed", [this] { return _index_flattop_end >= _index_delay; },
      pulseDelay, filling, flattop, fs);
  rule("Gain scheduling stop out of range",
      [this, scheduled] { return !scheduled() || (_index_stop >= 0 && _index_stop < _index_flattop_end); },
      scheduling.functionSelect, scheduling.stopTime, pulseDelay, filling, flattop, fs);
  rule("Gain scheduling start out of range",
      [this, scheduled] { return !scheduled() || (_index_start >= 0 && _index_start < _index_stop); },
      scheduling.functionSelect, scheduling.startTime, scheduling.stopTime, pulseDelay, fs);
  rule("Gain scheduling functionSelect out of range",
      [&scheduling] { return scheduling.functionSelect >= 0 && scheduling.functionSelect <= 2; },
      scheduling.functionSelect);
  // an infinite magnitude is refused like a negative one
  rule("Gain magnitude must not be negative.", [this] { return TableNumerics::finiteAtLeast(gain.magnitude, 0.0); },
      gain.magnitude);
}

void GainTable::computeIndices() {
  const auto indices = GainSchedule::indices({configuration.samplingFrequency, pulseShape.delay,
      pulseShape.fillingDuration, pulseShape.flattopDuration, gain.delay, gain.scheduling.startTime,
      gain.scheduling.stopTime});
  _index_delay = indices.delay;
  _index_flattop_end = indices.flattopEnd;
  _index_start = indices.start;
  _index_stop = indices.stop;
}

double GainTable::stopTimeFallback() const {
  const double fs = configuration.samplingFrequency;
  // without a usable sampling frequency there is no sample period: the ramp then stops at the pulse start
  const double period = std::isfinite(fs) && fs > 0 ? 1.0 / fs : 0.0;
  return period + pulseShape.delay;
}

void GainTable::mainLoop() {
  if(_pulseLength < 1) throw Corvane::logic_error("GainTable: the pulse length must be at least 1");
  Corvane::ReadAnyGroup parameters{configuration.samplingFrequency, pulseShape.cwMode, pulseShape.delay,
      pulseShape.fillingDuration, pulseShape.flattopDuration, gain.scheduling.startTime, gain.scheduling.stopTime,
      gain.scheduling.functionSelect, gain.magnitude, gain.delay};
  Corvane::TransferElementID changed;
  while(true) {
    computeIndices();
    validator.setFallback(gain.scheduling.stopTime, stopTimeFallback());
    if(validator.validate(changed)) computeIndices();
    constructTable();
    table.writeToFirmware(tableLock, BufferedTable<double>::DataWrite::destructive, logSource);
    changed = parameters.readAny();
  }
}

void GainTable::constructTable() {
  const double magnitude = gain.magnitude;
  const std::span<double> gainI(table.I.data(), table.I.size());
  if(pulseShape.cwMode != 0) {
    std::fill(gainI.begin(), gainI.end(), magnitude);
  }
  else {
    checkPulseIndices();
    if(gain.scheduling.functionSelect != 0) checkRampIndices();
    GainSchedule::fillPulsed(gainI, {_index_delay, _index_flattop_end, _index_start, _index_stop},
        gain.scheduling.functionSelect, magnitude);
  }
  std::copy(gainI.begin(), gainI.end(), table.Q.begin());
}

void GainTable::checkPulseIndices() {
  const std::int32_t last = _pulseLength - 1;
  safeAssert(_index_delay >= 0, "_index_delay >= 0", thisFile, 116, [this] { _index_delay = 0; });
  safeAssert(_index_delay < _pulseLength, "_index_delay < _pulseLength", thisFile, 117, [this] { _index_delay = 0; });
  safeAssert(_index_flattop_end >= 0, "_index_flattop_end >= 0", thisFile, 118, [this] { _index_flattop_end = 0; });
  safeAssert(_index_flattop_end < _pulseLength, "_index_flattop_end < _pulseLength", thisFile, 119,
      [this, last] { _index_flattop_end = last; });
}

void GainTable::checkRampIndices() {
  const std::int32_t last = _pulseLength - 1;
  safeAssert(_index_start >= 0, "_index_start >= 0", thisFile, 130, [this] { _index_start = 0; });
  safeAssert(_index_stop >= 0, "_index_stop >= 0", thisFile, 131, [this] { _index_stop = 0; });
  safeAssert(_index_start < _pulseLength, "_index_start < _pulseLength", thisFile, 132, [this] { _index_start = 0; });
  safeAssert(_index_stop < _pulseLength, "_index_stop < _pulseLength", thisFile, 133,
      [this, last] { _index_stop = last; });
  safeAssert(_index_stop >= _index_delay, "_index_stop >= _index_delay", thisFile, 134,
      [this] { _index_stop = _index_delay; });
  safeAssert(_index_stop <= _index_flattop_end, "_index_stop <= _index_flattop_end", thisFile, 135,
      [this] { _index_stop = _index_flattop_end; });
}

void GainTable::safeAssert(bool condition, const std::string& conditionText, const std::string& file,
    std::int32_t line, const std::function<void()>& fixUp) {
  if(condition) return;
  logger(Corvane::Logger::Severity::error)
      << "safe_assert in " << file << " (" << line << ") failed: !(" << conditionText << ")";
  setError("safe_assert " + std::to_string(line) + " failed, notify developer!");
  if(fixUp) fixUp();
}

void GainTable::setError(const std::string& message) {
  logger(Corvane::Logger::Severity::debug) << "ERROR in GainTable: " << message;
  errorMessage = message;
  errorMessage.write();
}
