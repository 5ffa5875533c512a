// Names of the station's configuration keys that more than one place reads, so that a key is spelled once. A
// key that only one module reads stays written out at that reader, beside its type. The types are those of the
// configuration file; a missing key or one of another type stops construction with the reader's error.
#pragma once

#include <cstddef>
#include <string>

namespace ConfigurationKeys {

  /// uint32: samples per pulse of every controller table and DAQ trace.
  inline constexpr char pulseLength[] = "Configuration/pulseLength";
  /// int32: the station's role, see InstanceType.h.
  inline constexpr char instanceType[] = "Configuration/instanceType";
  /// uint32: number of ADC boards.
  inline constexpr char nAdcBoards[] = "Configuration/nAdcBoards";
  /// int32: non-zero builds the phase setter (the automation refuses to run beside it).
  inline constexpr char enablePhaseSetter[] = "Configuration/enablePhaseSetter";
  /// int32: non-zero builds the RF start-up automation (and gives the controller's input channel amplitude and
  /// phase).
  inline constexpr char enableAutomation[] = "Configuration/enableAutomation";
  /// boolean: flat-top statistics of the controller's DAQ channels (the automation needs them).
  inline constexpr char enableControllerChannelStatistics[] = "Configuration/enableControllerChannelStatistics";
  /// double: the firmware clock in MHz.
  inline constexpr char clockFrequency[] = "Configuration/clockFrequency";
  /// uint32: clock cycles of one IQ detection (one sample before decimation).
  inline constexpr char iqDetectionLength[] = "Configuration/IQdetectionLength";

  /// uint32: channels of ADC board `board` ("Configuration/AdcBoard<board>/nChannels").
  inline std::string adcBoardChannels(std::size_t board) {
    return "Configuration/AdcBoard" + std::to_string(board) + "/nChannels";
  }

} // namespace ConfigurationKeys
