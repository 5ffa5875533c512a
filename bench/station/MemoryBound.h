// The memory-bandwidth bound of one pulse: the time this machine needs to read and write the
// bytes that a pulse moves, once each, in arrays of the pulse's length. A server that touched
// every byte exactly once, and did no arithmetic, would take this long per pulse.
#pragma once

#include <cstddef>
#include <cstdint>

namespace stationbench {

  struct MemoryBound {
    std::uint64_t bytesRead{0};
    std::uint64_t bytesWritten{0};
    double seconds{0.}; ///< best of the repetitions, one thread
    double gigabytesPerSecond() const { return seconds > 0. ? double(bytesRead + bytesWritten) / seconds / 1e9 : 0.; }
  };

  /// Reads `bytesRead` and writes `bytesWritten` (copying while both remain, then reading or
  /// writing alone) over arrays of `arrayElements` floats; the best time of `repetitions`.
  MemoryBound measureMemoryBound(
      std::uint64_t bytesRead, std::uint64_t bytesWritten, std::size_t arrayElements, int repetitions = 7);

} // namespace stationbench
