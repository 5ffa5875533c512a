// Properties of the simulated controller board's hardware that no register reaches, given by its
// device descriptor (all optional; the defaults model the board as it always was):
//
//   tableLength   entries of each control table the firmware plays, 1 to 16384 (default 16384).
//                 Samples from this index on, and the time between pulses, hold the last entry
//                 played: a station whose tables are shorter than the board's (config/sim: 2048)
//                 so keeps driving with its tables' last value, which in continuous-wave mode is
//                 the flat-top, as a firmware built for the station's pulse length does.
//   vmOffsetI     DC offset of the vector modulator's I and Q inputs, in DAC digits (default 0):
//   vmOffsetQ     added to the drive together with OUTPUT.WORD_DAC_OFFSET, so an offset register
//                 of minus these values cancels them. The leakage that the automation's offset
//                 calibration measures with RF off and compensates.
//
// Example: (SISLDummy:ctrl?map=controller.map&tableLength=2048&vmOffsetI=300&vmOffsetQ=-200)
#pragma once

#include <Corvane/DeviceDescriptor.h>

#include <cstddef>

class BoardModelParameters {
 public:
  /// The parameters of a descriptor; Corvane::logic_error naming the parameter for a value that is not a
  /// number of the allowed range (a table length that is no whole number from 1 to `maxTableLength`, an
  /// offset that is not finite).
  static BoardModelParameters fromDescriptor(const Corvane::DeviceDescriptor& descriptor, std::size_t maxTableLength);

  std::size_t tableLength{0}; ///< 0: every entry of the board's tables is played
  double vmOffsetI{0.0};
  double vmOffsetQ{0.0};
};
