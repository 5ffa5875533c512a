#include "ConfigurationKeys.h"
#include "ControllerChannel.h"
#include "ControllerChannelKernels.h"

#include <Corvane/ConfigReader.h>
#include <Corvane/WakeUpBatch.h>

#include <span>
#include <utility>

ControllerChannel::Computations::Computations(Corvane::ModuleGroup* owner, const std::string& name,
    const std::string& description, bool computeAmplitudePhase, bool applyBitShift,
    const std::unordered_set<std::string>& tags)
: Corvane::ApplicationModule(owner, name, description, tags),
  pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)),
  computeAmplitudePhase(computeAmplitudePhase), applyBitShift(applyBitShift),
  I(this, "I", "digits", pulseLength, "Raw I values", {}), Q(this, "Q", "digits", pulseLength, "Raw Q values", {}),
  table(computeAmplitudePhase ? TableAP(this, ".", "", {}) : TableAP()),
  samplePoints(this, "Samples", "", {}, computeAmplitudePhase),
  // a channel of a controller that never runs (slave and monitoring-only stations) needs no statistics switch
  statisticsEnabled(
      !isDisabled() && appConfig().get<Corvane::Boolean>(ConfigurationKeys::enableControllerChannelStatistics)),
  configuration(this, "/Configuration", "") {
  if(statisticsEnabled) {
    statistics = Statistics(this, "Statistics", "Statistics computed over the full flattop", computeAmplitudePhase);
  }
  // the raw traces are only read: share them with the control system instead of copying them
  I.shareReceivedValues();
  Q.shareReceivedValues();
}

void ControllerChannel::Computations::mainLoop() {
  if(computeAmplitudePhase) computeTable();
  while(true) {
    {
      // readers of several outputs (the error monitor takes amplitude and phase) wake once per pulse
      Corvane::WakeUpBatch batch;
      publishSamples();
      if(statisticsEnabled) publishStatistics();
      if(computeAmplitudePhase) {
        table.amplitude.writeDestructively();
        table.phase.writeDestructively();
      }
    }
    readAll();
    if(computeAmplitudePhase) computeTable();
  }
}

void ControllerChannel::Computations::computeTable() {
  const double scale = ControllerChannelKernels::scale(
      configuration.bitScaling, applyBitShift, static_cast<std::uint32_t>(configuration.vectorSumBitShift));
  ControllerChannelKernels::computeAmplitudePhase(std::as_const(I).value(), std::as_const(Q).value(), scale,
      configuration.zeroPhaseThreshold, std::span<float>(table.amplitude.data(), table.amplitude.size()),
      std::span<float>(table.phase.data(), table.phase.size()));
  setAmplitudePhaseValidity(ControllerChannelKernels::isUsableScale(scale) ? Corvane::DataValidity::ok
                                                                           : Corvane::DataValidity::faulty);
}

void ControllerChannel::Computations::publishSamples() {
  samplePoints.update(pulseLength, [this](const GlobalSamplePoints<Samples>::Position& position, Samples& sample) {
    const auto index = position.sampleIndex;
    sample.I = std::as_const(I)[index];
    sample.Q = std::as_const(Q)[index];
    if(computeAmplitudePhase) {
      sample.amplitudePhase.amplitude = table.amplitude[index];
      sample.amplitudePhase.phase = table.phase[index];
    }
  });
}

void ControllerChannel::Computations::publishStatistics() {
  const auto flattop =
      ControllerChannelKernels::flattop(configuration.flattopBeginIndex, configuration.flattopEndIndex, pulseLength);
  if(!flattop) {
    // no flat-top to average over: the last statistics go out again, marked as not belonging to this pulse
    setStatisticsValidity(Corvane::DataValidity::faulty);
    statistics.writeAll();
    return;
  }
  std::span<const float> amplitude, phase;
  if(computeAmplitudePhase) {
    amplitude = std::span<const float>(table.amplitude.data(), table.amplitude.size());
    phase = std::span<const float>(table.phase.data(), table.phase.size());
  }
  const auto result = ControllerChannelKernels::computeStatistics(
      std::as_const(I).value(), std::as_const(Q).value(), amplitude, phase, *flattop);
  statistics.IAverage = result.iAverage;
  statistics.QAverage = result.qAverage;
  if(computeAmplitudePhase) {
    statistics.ap.amplitudeAverage = result.amplitudeAverage;
    statistics.ap.phaseAverage = result.phaseAverage;
    statistics.ap.amplitudeStandardDeviation = result.amplitudeStandardDeviation;
    statistics.ap.phaseStandardDeviation = result.phaseStandardDeviation;
  }
  setStatisticsValidity(flattop->clamped ? Corvane::DataValidity::faulty : Corvane::DataValidity::ok);
  statistics.writeAll();
}

void ControllerChannel::Computations::setAmplitudePhaseValidity(Corvane::DataValidity validity) {
  _amplitudePhaseValidity = validity;
  table.amplitude.setDataValidity(validity);
  table.phase.setDataValidity(validity);
  for(auto& sample : samplePoints.samples) {
    sample.amplitudePhase.amplitude.setDataValidity(validity);
    sample.amplitudePhase.phase.setDataValidity(validity);
  }
}

void ControllerChannel::Computations::setStatisticsValidity(Corvane::DataValidity validity) {
  statistics.IAverage.setDataValidity(validity);
  statistics.QAverage.setDataValidity(validity);
  // amplitude and phase statistics are also faulty while their traces are
  const auto apValidity = _amplitudePhaseValidity == Corvane::DataValidity::faulty ? _amplitudePhaseValidity : validity;
  statistics.ap.amplitudeAverage.setDataValidity(apValidity);
  statistics.ap.phaseAverage.setDataValidity(apValidity);
  statistics.ap.amplitudeStandardDeviation.setDataValidity(apValidity);
  statistics.ap.phaseStandardDeviation.setDataValidity(apValidity);
}
