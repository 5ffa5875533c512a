// Simulated time of the virtual lab: signed 64-bit picoseconds. A frequency f has a period of
// 1e12/f ps, truncated toward zero.
#pragma once

#include <cstdint>

namespace Corvane::VirtualLab {

  /// A point or a span of simulated time, in picoseconds.
  using Picoseconds = std::int64_t;

  inline constexpr Picoseconds picosecondsPerSecond = 1'000'000'000'000;

  /// The period of a frequency in Hz, truncated to whole picoseconds (65e6/36 Hz gives 553846).
  constexpr Picoseconds periodOf(double frequency) { return static_cast<Picoseconds>(1e12 / frequency); }

} // namespace Corvane::VirtualLab
