#include "SamplingPosition.h"

#include "ConfigurationLimits.h"
#include "ConfigurationKeys.h"

#include <Corvane/Exception.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

  /// A sample count as unsigned 32-bit, saturated at both ends instead of undefined.
  std::uint32_t saturatedIndex(double samples) {
    constexpr double top = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(std::clamp(samples, 0.0, top));
  }

} // namespace

SamplingPosition::SamplingPosition(Corvane::Module* owner, const std::string& name, const std::string& description,
    const std::unordered_set<std::string>& tags)
: Corvane::ApplicationModule(owner, name, description, tags),
  _pulseLength(ConfigurationLimits::pulseLength(appConfig())) {}

SamplingPosition::~SamplingPosition() = default;
SamplingPosition::PulseShape::~PulseShape() = default;

std::optional<SamplingPosition::Points> SamplingPosition::compute(const Timing& timing, std::uint32_t pulseLength) {
  const double fs = timing.samplingFrequency;
  if(!std::isfinite(fs) || !(fs > 0.0) || !std::isfinite(timing.offset)) return std::nullopt;

  Points points{};
  if(timing.cwMode != 0) {
    points.flattopBegin = 0;
    points.flattopEnd = pulseLength - 1;
  }
  else {
    const double begin = fs * (timing.delay + timing.fillingDuration);
    const double end = fs * ((timing.delay + timing.fillingDuration) + timing.flattopDuration);
    if(!std::isfinite(begin) || !std::isfinite(end)) return std::nullopt;
    points.flattopBegin = saturatedIndex(std::ceil(begin));
    points.flattopEnd = std::max(points.flattopBegin, saturatedIndex(std::floor(end)));
  }

  // in double the sum cannot wrap; whole numbers stay exact far beyond the range kept here
  const double sample = std::round(timing.offset * fs) + static_cast<double>(points.flattopBegin);
  points.index = static_cast<std::uint32_t>(std::clamp(sample, 0.0, static_cast<double>(pulseLength - 1)));
  points.position = static_cast<double>(points.index) / fs;
  return points;
}

void SamplingPosition::mainLoop() {
  auto group = readAnyGroup();
  // what the outputs hold while the inputs cannot be used: the last good result, marked invalid
  Points last{};
  bool faulted = false;
  while(true) {
    auto points = compute({samplingFrequency, pulseShape.cwMode, pulseShape.delay, pulseShape.fillingDuration,
                              pulseShape.flattopDuration, offset},
        static_cast<std::uint32_t>(_pulseLength));
    if(points && faulted) {
      decrementDataFaultCounter();
      faulted = false;
    }
    else if(!points && !faulted) {
      incrementDataFaultCounter();
      faulted = true;
      logger(Corvane::Logger::Severity::warning)
          << "SamplingPosition: sampling frequency " << samplingFrequency.value() << " MHz, offset " << offset.value()
          << " us, delay " << pulseShape.delay.value() << " us, filling " << pulseShape.fillingDuration.value()
          << " us, flat-top " << pulseShape.flattopDuration.value()
          << " us give no sample index; the sampling position and flat-top indices keep their last values, marked "
             "invalid";
    }
    if(points) last = *points;

    flattopBeginIndex.setAndWrite(last.flattopBegin);
    flattopEndIndex.setAndWrite(last.flattopEnd);
    index.writeIfDifferent(last.index);
    position.writeIfDifferent(last.position);

    group.readAny();
  }
}
