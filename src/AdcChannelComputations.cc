#include "AdcChannel.h"

#include "AdcChannelKernels.h"
#include "ConfigurationKeys.h"

#include <Corvane/ConfigReader.h>
#include <Corvane/WakeUpBatch.h>

#include <span>

AdcChannel::ChannelComputations::ChannelComputations(Corvane::ModuleGroup* owner, const std::string& name,
    const std::string& description, std::uint32_t channel, const std::unordered_set<std::string>& tags)
: Corvane::ApplicationModule(owner, name, description, tags),
  pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)),
  channel(channel),
  amplitudeUncalibrated(this, "amplitudeUncalibrated", "", pulseLength, "", {}),
  phaseUncalibrated(this, "phaseUncalibrated", "", pulseLength, "", {}),
  amplitude(this, "amplitude", "G.U.L.S.", pulseLength, "Amplitude over time", {"DAQ"}),
  phase(this, "phase", "deg", pulseLength, "Phase over time", {"DAQ"}),
  power(this, "power", "P.U.", pulseLength, "Computed power over time", {"DAQ"}),
  samplePoints(this, "Samples", "", {}),
  configuration(this, "/Configuration", "") {
  // the raw arrays are only read: share them with the control system instead of copying them
  amplitudeUncalibrated.shareReceivedValues();
  phaseUncalibrated.shareReceivedValues();
  if(appConfig().get<Corvane::Boolean>("Configuration/enableAdcChannelStatistics")) {
    statistics = Statistics(this, "Statistics", "", {});
    statisticsEnabled = true;
  }
}

void AdcChannel::ChannelComputations::mainLoop() {
  channelNumber.setAndWrite(channel);
  _lastErrorCount = daqErrorCounter;
  // A board that was not yet open when the module started gives no count (its reading is marked faulty): the
  // first real reading is then the count the channel starts from, not a change.
  _errorCountKnown = daqErrorCounter.dataValidity() == Corvane::DataValidity::ok;
  _holdOffLength = amplitudeUncalibrated.getNumberOfBuffers();
  _held = false;
  _unchangedPasses = 0;

  while(true) {
    updateHoldOff();

    AdcChannelKernels::SignalParameters parameters;
    parameters.bitScaling = configuration.bitScalingLengthScaled;
    parameters.zeroPhaseThreshold = configuration.zeroPhaseThreshold;
    parameters.powerFactor = AdcChannelKernels::powerFactor(powerScaling, configuration.extraPowerScaling);
    parameters.flattopBeginIndex = configuration.flattopBeginIndex;
    const auto results = AdcChannelKernels::computeSignals(std::span<const std::int32_t>(amplitudeUncalibrated.value()),
        std::span<const std::int32_t>(phaseUncalibrated.value()), parameters,
        std::span<float>(amplitude.data(), amplitude.size()), std::span<float>(phase.data(), phase.size()),
        std::span<float>(power.data(), power.size()), statisticsEnabled);
    const bool powerComputed = results.peaks.has_value();

    // readers of several outputs (the vector sum takes amplitude and phase) wake once per pass
    {
      Corvane::WakeUpBatch batch;
      if(results.peaks) {
        peakPowerFilling.setAndWrite(results.peaks->filling);
        peakPowerFlattop.setAndWrite(results.peaks->flattop);
        _peaksPublished = true;
      }

      // a sample's power keeps the value of the last computed power, 0 before the first
      samplePoints.update(
          pulseLength, [this, powerComputed](const GlobalSamplePoints<Samples>::Position& position, Samples& sample) {
            sample.amplitude = amplitude[position.sampleIndex];
            sample.phase = phase[position.sampleIndex];
            if(powerComputed) sample.power = power[position.sampleIndex];
          });

      if(results.statistics) {
        if(powerComputed) _powerAverage = results.statistics->powerAverage;
        statistics.amplitudeAverage = results.statistics->amplitudeAverage;
        statistics.phaseAverage = results.statistics->phaseAverage;
        statistics.powerAverage = _powerAverage;
        statistics.amplitudeStandardDeviation = results.statistics->amplitudeStandardDeviation;
        statistics.phaseStandardDeviation = results.statistics->phaseStandardDeviation;
        statistics.writeAll();
      }

      amplitude.writeDestructively();
      phase.writeDestructively();
      writePower(powerComputed);
    }

    readAll();
  }
}

void AdcChannel::ChannelComputations::updateHoldOff() {
  const std::uint32_t count = daqErrorCounter;
  if(!_errorCountKnown) {
    if(daqErrorCounter.dataValidity() == Corvane::DataValidity::ok) {
      _lastErrorCount = count;
      _errorCountKnown = true;
    }
    return;
  }
  if(count != _lastErrorCount) {
    if(!_held) {
      incrementDataFaultCounter();
      _held = true;
    }
    _lastErrorCount = count;
    _unchangedPasses = 0;
  }
  else if(_held && ++_unchangedPasses > _holdOffLength) {
    decrementDataFaultCounter();
    _held = false;
  }
}

void AdcChannel::ChannelComputations::writePower(bool computed) {
  if(computed || !_powerPublished) {
    // the buffer still holds its first content, zeros, unless the power was computed into it
    if(computed) {
      power.writeDestructively();
    }
    else {
      power.write();
    }
    _powerPublished = true;
  }
  if(!computed && !_peaksPublished) {
    peakPowerFilling.write();
    peakPowerFlattop.write();
    _peaksPublished = true;
  }
}
