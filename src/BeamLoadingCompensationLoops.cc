// The main loops of the beam loading compensation's three modules. Each computes and writes once from the initial
// values, then once per update of its inputs.
#include "BeamLoadingCompensation.h"

#include <Corvane/ReadAnyGroup.h>

#include <cmath>
#include <numbers>

void BeamLoadingCompensation::UserTables::mainLoop() {
  _scratch.assign(userTable.I.size(), 0);
  auto inputs = readAnyGroup();
  forward(userTable.I, output.userTableI, output.swapTableI);
  forward(userTable.Q, output.userTableQ, output.swapTableQ);
  while(true) {
    const auto updated = inputs.readAny();
    if(updated == userTable.I.getId()) {
      forward(userTable.I, output.userTableI, output.swapTableI);
    } else if(updated == userTable.Q.getId()) {
      forward(userTable.Q, output.userTableQ, output.swapTableQ);
    }
  }
}

void BeamLoadingCompensation::UserTables::forward(Corvane::ArrayPushInput<std::int32_t>& input,
    Corvane::ArrayOutput<std::int32_t>& table, Corvane::ScalarOutput<Corvane::Boolean>& swap) {
  // input -> scratch -> table: the input's buffer is not used again before its next read
  input.swap(_scratch);
  table.swap(_scratch);
  swap = Corvane::Boolean(!swap);
  table.writeDestructively();
  swap.write();
}

std::optional<std::uint32_t> BeamLoadingCompensation::PulseShape::absoluteSample(
    double microseconds, double samplesPerMicrosecond) {
  const double samples = std::trunc(microseconds * samplesPerMicrosecond);
  // 2^63: the first value beyond signed 64 bits
  constexpr double beyond64Bits = 9223372036854775808.0;
  if(!std::isfinite(samples) || samples >= beyond64Bits || samples < -beyond64Bits) return std::nullopt;
  // low 32 bits, so that a negative time gives the two's complement
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(samples)));
}

void BeamLoadingCompensation::PulseShape::mainLoop() {
  auto inputs = readAnyGroup();
  const double samplesPerMicrosecond = clockFrequency / static_cast<double>(iqDetectionLength);
  while(true) {
    update(samplesPerMicrosecond);
    inputs.readAny();
  }
}

void BeamLoadingCompensation::PulseShape::update(double samplesPerMicrosecond) {
  const auto& shape = controller.pulseShape;
  if(shape.cwMode != 0) {
    output.pulseStopAbsolute = endless;
    output.beamStartAbsolute = 0;
    output.beamStopAbsolute = endless;
    writeAll();
    return;
  }
  const double fillingEnd = shape.delay + shape.fillingDuration;
  const auto pulseStop = absoluteSample(shape.flattopDuration + fillingEnd, samplesPerMicrosecond);
  const auto beamStart = absoluteSample(fillingEnd + shape.beamStart, samplesPerMicrosecond);
  const auto beamStop = absoluteSample(fillingEnd + shape.beamStart + shape.beamDuration, samplesPerMicrosecond);
  if(!pulseStop || !beamStart || !beamStop) {
    logger(Corvane::Logger::Severity::warning)
        << "Pulse or beam timing gives no sample number (delay " << shape.delay << " us, filling "
        << shape.fillingDuration << " us, flat-top " << shape.flattopDuration << " us, beam start " << shape.beamStart
        << " us, beam duration " << shape.beamDuration << " us): previous outputs kept";
    return;
  }
  output.pulseStopAbsolute = *pulseStop;
  output.beamStartAbsolute = *beamStart;
  output.beamStopAbsolute = *beamStop;
  writeAll();
}

void BeamLoadingCompensation::Limiter::mainLoop() {
  auto inputs = readAnyGroup();
  while(true) {
    convert("max", phase.max, phase.maxCosine, phase.maxSine);
    convert("min", phase.min, phase.minCosine, phase.minSine);
    writeAll();
    inputs.readAny();
  }
}

void BeamLoadingCompensation::Limiter::convert(
    const char* name, double degrees, Corvane::ScalarOutput<float>& cosine, Corvane::ScalarOutput<float>& sine) {
  if(!std::isfinite(degrees)) {
    logger(Corvane::Logger::Severity::warning)
        << "Phase limit " << name << " is not finite (" << degrees << " deg): its cosine and sine are kept";
    return;
  }
  const double angle = std::numbers::pi * degrees / 180.0;
  cosine = static_cast<float>(std::cos(angle));
  sine = static_cast<float>(std::sin(angle));
}
