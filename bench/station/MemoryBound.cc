#include "MemoryBound.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <numeric>
#include <vector>

namespace stationbench {

  MemoryBound measureMemoryBound(
      std::uint64_t bytesRead, std::uint64_t bytesWritten, std::size_t arrayElements, int repetitions) {
    const std::size_t arrayBytes = arrayElements * sizeof(float);
    const std::size_t nIn = (bytesRead + arrayBytes - 1) / arrayBytes;
    const std::size_t nOut = (bytesWritten + arrayBytes - 1) / arrayBytes;
    // touched once before timing, so that page faults do not count
    std::vector<std::vector<float>> in(nIn, std::vector<float>(arrayElements, 1.F));
    std::vector<std::vector<float>> out(nOut, std::vector<float>(arrayElements, 0.F));

    MemoryBound bound{nIn * arrayBytes, nOut * arrayBytes, 0.};
    volatile float sink = 0.F;
    for(int r = 0; r < repetitions; ++r) {
      auto start = std::chrono::steady_clock::now();
      const std::size_t both = std::min(nIn, nOut);
      for(std::size_t k = 0; k < both; ++k) std::memcpy(out[k].data(), in[k].data(), arrayBytes);
      for(std::size_t k = both; k < nOut; ++k) std::fill(out[k].begin(), out[k].end(), float(r));
      float sum = 0.F;
      for(std::size_t k = both; k < nIn; ++k) sum = std::accumulate(in[k].begin(), in[k].end(), sum);
      sink = sink + sum;
      double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if(r == 0 || seconds < bound.seconds) bound.seconds = seconds;
    }
    (void)sink;
    return bound;
  }

} // namespace stationbench
