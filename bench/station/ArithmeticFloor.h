// The arithmetic floor of one pulse: what the station must compute per pulse, on one thread and
// without the framework. Every ADC channel's raw amplitude and phase are copied out of arrays that
// stand for the device (the read), turned into amplitude, phase, power and, when asked, the
// statistics, and added to the vector sum; every controller DAQ channel's raw I and Q are copied and
// converted to float, turned into amplitude and phase and, when asked, its flat-top statistics.
// Each channel has arrays of its own, so the data moves through the caches as in the station.
//
// CPU time per pulse in the station against this floor is what the framework costs (transport,
// scheduling, control system); the floor itself bounds the pulse rate that a number of cores can
// reach, however cheap the framework.
#pragma once

#include <cstddef>
#include <cstdint>

namespace stationbench {

  struct ArithmeticFloorShape {
    std::size_t adcChannels{80};
    std::size_t controllerChannels{7};
    std::size_t pulseLength{16384};
    bool statistics{true};
  };

  struct ArithmeticFloor {
    double seconds{0.};           ///< one pulse, best of the repetitions
    double statisticsSeconds{0.}; ///< the part of it that the statistics add (0 without them)
  };

  /// Times the pulse's arithmetic `repetitions` times (with and without statistics when they are asked for).
  ArithmeticFloor measureArithmeticFloor(const ArithmeticFloorShape& shape, int repetitions = 7);

} // namespace stationbench
