#include "AdcChannel.h"

#include <utility>

AdcChannel::AdcChannel(Corvane::ModuleGroup* owner, std::string name, const std::string& description,
    std::uint64_t channel, std::uint32_t nSinCosTableSize, double phaseStep, double sinSign)
: Corvane::ModuleGroup(owner, "Channel" + std::to_string(channel), description),
  channel(static_cast<std::uint32_t>(channel)),
  nSinCosTableSize(nSinCosTableSize),
  phaseStep(phaseStep),
  sinSign(sinSign),
  name(std::move(name)),
  calibration(this, "Calibration", "Calibration", nSinCosTableSize, phaseStep, sinSign, false),
  filter(this, "Filter", "Filter settings", {}),
  delayModule(this, ".", "ADC FIFO delay", {}),
  computations(this, ".", "Compute power and extract sample values from ADC channel data", this->channel, {}) {}
