#include "DaqTriggerMux.h"

#include <Corvane/ConfigReader.h>
#include <Corvane/Exception.h>

#include <limits>

namespace {

  const std::string rawDecimationKey = "Configuration/rawAdcDecimation";

  std::uint32_t readRawDecimation(const Corvane::Module& module) {
    // the raw-mode divider is the decimation minus 1: 0 would wrap to the largest divider
    return module.appConfig().getInRange<std::uint32_t>(rawDecimationKey, 1, std::numeric_limits<std::uint32_t>::max(),
        "the raw decimation must be at least 1 (module " + module.getQualifiedName() + ")");
  }

} // namespace

DaqTriggerMux::DaqTriggerMux(Corvane::Module* owner, const std::string& name, const std::string& description,
    const std::unordered_set<std::string>& tags)
: Corvane::ApplicationModule(owner, name, description, tags), rawAdcDecimation(readRawDecimation(*this)),
  triggerNumber(this, "/Server/triggerNumber", "", "Macro pulse trrigger number"),
  rawDaqMode(this, "rawDaqMode", "", "Enable RAW DAQ mode", {"DAQ"}),
  timingDividerController(
      this, "/SamplingScheme/timingDividerController", "", "Frequency divider used for controller DAQ"),
  normalTrigger(this, "normalTrigger", "", "Trigger for normal amplitude+phase readout"),
  rawTrigger(this, "rawTrigger", "", "Trigger for raw ADC readout"),
  wordDaqMux1(this, "WORD_DAQ_MUX1", "", "Secondary DAQ mode"),
  daqEnableForRawMode(this, "daqEnableForRawMode", "", "1: Amplitude/Phase data, 2: RAW mode"),
  timingDividerAdc(this, "timingDividerAdc", "", "Frequency divider used for ADC DAQ") {}

void DaqTriggerMux::mainLoop() {
  while(true) {
    // the trigger numbers are forwarded modulo 2^32, as the firmware's 32-bit triggers take them
    const auto trigger = static_cast<std::int32_t>(static_cast<std::uint32_t>(triggerNumber.value()));
    if(rawDaqMode != 0) {
      wordDaqMux1.writeIfDifferent(rawMode);
      daqEnableForRawMode.writeIfDifferent(rawMode);
      // whatever the divider held before (0 included), raw mode runs at the raw decimation
      timingDividerAdc.writeIfDifferent(rawAdcDecimation - 1);
      rawTrigger.setAndWrite(trigger);
    }
    else {
      wordDaqMux1.writeIfDifferent(amplitudePhaseMode);
      daqEnableForRawMode.writeIfDifferent(amplitudePhaseMode);
      timingDividerAdc.writeIfDifferent(timingDividerController);
      normalTrigger.setAndWrite(trigger);
    }
    readAll();
  }
}
