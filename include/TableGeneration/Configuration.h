// The table generation's view of the station configuration below
// "/Configuration": the RF frequency read from the configuration file, and the
// shared operator settings the tables depend on (sampling frequency, loaded Q
// and its fudge factor, the ADC bit scaling, the vector-sum bit shift). The
// settings are write-back inputs, so that a rejected value returns to its
// sender.
#pragma once

#include <Corvane/ConfigReader.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>

namespace TableGeneration {

  class Configuration : public Corvane::VariableGroup {
   public:
    using Corvane::VariableGroup::VariableGroup;

    /// Key of the RF frequency (double, MHz).
    static constexpr const char* rfFrequencyKey = "Configuration/rfFrequency";

    double rfFrequency{appConfig().get<double>(rfFrequencyKey)};
    Corvane::ScalarPushInputWB<double> samplingFrequency{
        this, "samplingFrequency", "MHz", "IQ sampling frequency as used for the control tables"};
    Corvane::ScalarPushInputWB<double> QLoaded{this, "QLoaded", "", "Loaded Q of the cavity"};
    Corvane::ScalarPushInputWB<double> QLoadedFudge{
        this, "QLoadedFudge", "", "Fudge factor for loaded Q (used for filling region)"};
    Corvane::ScalarPushInputWB<double> bitScaling{this, "bitScaling", "digits/G.U.",
        "Calibration factor for cavity signals, converts ADC digits into the "
        "cavity voltage"};
    Corvane::ScalarPushInputWB<std::uint8_t> vectorSumBitShift{this, "vectorSumBitShift", "bits", ""};
  };

} // namespace TableGeneration
