// DAQ trigger multiplexer of one ADC board: switches the board's firmware between amplitude/phase
// DAQ and raw ADC samples on the operator's "rawDaqMode", sets the ADC DAQ frequency divider of
// the active mode, and forwards every macro-pulse trigger to "normalTrigger" or "rawTrigger", the
// triggers of the board's two DAQ device modules, so that only the active mode's data are read.
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/ScalarAccessor.h>

#include <cstdint>
#include <string>
#include <unordered_set>

class DaqTriggerMux : public Corvane::ApplicationModule {
 public:
  /// Reads "Configuration/rawAdcDecimation"; a missing key, another type or the value 0 throws
  /// Corvane::logic_error naming the key and the configuration file.
  DaqTriggerMux(Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});
  DaqTriggerMux(DaqTriggerMux&&) noexcept = default;
  DaqTriggerMux& operator=(DaqTriggerMux&&) noexcept = default;
  ~DaqTriggerMux() override = default;

  /// The initial trigger number goes to the initial mode's output only: the other output gets
  /// its first value with the first trigger in its mode, and its device module reads the board
  /// on that first value.
  void mainLoop() override;

  /// Values of the mode registers "WORD_DAQ_MUX1" and "daqEnableForRawMode".
  static constexpr std::uint8_t amplitudePhaseMode = 1;
  static constexpr std::uint8_t rawMode = 2;

 private:
  std::uint32_t rawAdcDecimation{1};

  Corvane::ScalarPushInput<std::int64_t> triggerNumber;
  Corvane::ScalarPollInput<std::int32_t> rawDaqMode;
  Corvane::ScalarPollInput<std::uint32_t> timingDividerController;
  Corvane::ScalarOutput<std::int32_t> normalTrigger;
  Corvane::ScalarOutput<std::int32_t> rawTrigger;
  Corvane::ScalarOutput<std::uint8_t> wordDaqMux1;
  Corvane::ScalarOutput<std::uint8_t> daqEnableForRawMode;
  Corvane::ScalarOutput<std::uint32_t> timingDividerAdc;
};
