// The software vector sum on 80 channels of 16384 samples: the kernels of VectorSumKernels in
// every implementation this processor runs, beside a plain loop with sinf/cosf, first on data
// that stays in the first-level cache (the arithmetic alone), then on whole pulses summed block
// by block for several block lengths, the last of them the pulse length (channel by channel, as
// SoftwareVectorSum adds them), beside the time to read the same bytes once. Also checks that the vector implementations agree to the bit and prints how
// far the portable one is from them.
//
// Usage: bench_vectorsum [channels] [samples]
#include "VectorSumKernels.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

using VectorSumKernels::Implementation;
using Clock = std::chrono::steady_clock;

namespace {

  struct Channel {
    std::vector<float> amplitude, phase;
  };

  // Pulses as the ADC channels deliver them: filling, flat-top and decay with noise; the phase
  // drifts over the pulse and differs from channel to channel, within one turn.
  std::vector<Channel> makeChannels(std::size_t nChannels, std::size_t nSamples) {
    std::mt19937 random(11);
    std::normal_distribution<float> noise(0.F, 0.3F);
    std::uniform_real_distribution<float> offset(-170.F, 170.F);
    std::vector<Channel> channels(nChannels);
    for(auto& channel : channels) {
      channel.amplitude.resize(nSamples);
      channel.phase.resize(nSamples);
      const float phase0 = offset(random);
      for(std::size_t k = 0; k < nSamples; ++k) {
        const float t = static_cast<float>(k) / static_cast<float>(nSamples);
        float envelope = t < 0.1F ? 0.F : t < 0.35F ? 1.F - std::exp(-(t - 0.1F) / 0.06F) : t < 0.75F ? 0.98F
                                                                                                      : 0.98F * std::exp(-(t - 0.75F) / 0.05F);
        channel.amplitude[k] = 40.F * envelope + noise(random);
        channel.phase[k] = phase0 + 8.F * std::sin(5.F * t) + 10.F * noise(random);
      }
    }
    return channels;
  }

  std::vector<Implementation> implementations() {
    std::vector<Implementation> result;
    for(auto implementation : {Implementation::avx512, Implementation::avx2, Implementation::portable}) {
      if(VectorSumKernels::isAvailable(implementation)) result.push_back(implementation);
    }
    return result;
  }

  void plainLoop(std::span<const float> amplitude, std::span<const float> phase, std::span<float> i,
      std::span<float> q) {
    for(std::size_t k = 0; k < amplitude.size(); ++k) {
      const float x = phase[k] * (3.14159265F / 180.F);
      i[k] += amplitude[k] * std::cos(x);
      q[k] += amplitude[k] * std::sin(x);
    }
  }

  using Kernel = std::function<void(std::span<const float>, std::span<const float>, std::span<float>, std::span<float>)>;

  Kernel kernelOf(Implementation implementation) {
    return [implementation](auto a, auto p, auto i, auto q) { VectorSumKernels::accumulate(implementation, a, p, i, q); };
  }

  /// The whole pulse, blockLength samples of every channel at a time (the pulse length: channel by
  /// channel, as SoftwareVectorSum adds them).
  void sumPulse(const Kernel& kernel, const std::vector<Channel>& channels, std::size_t blockLength,
      std::vector<float>& i, std::vector<float>& q) {
    const std::size_t n = i.size();
    for(std::size_t begin = 0; begin < n; begin += blockLength) {
      const std::size_t length = std::min(blockLength, n - begin);
      std::span<float> iBlock(i.data() + begin, length), qBlock(q.data() + begin, length);
      std::fill(iBlock.begin(), iBlock.end(), 0.F);
      std::fill(qBlock.begin(), qBlock.end(), 0.F);
      for(const auto& channel : channels) {
        kernel(std::span<const float>(channel.amplitude.data() + begin, length),
            std::span<const float>(channel.phase.data() + begin, length), iBlock, qBlock);
      }
    }
  }

  /// Reads every input byte once in the same order (the bound that the memory traffic alone
  /// sets); an OR of the bit patterns, which the compiler vectorises.
  std::uint32_t readAll(const std::vector<Channel>& channels, std::size_t blockLength) {
    std::uint32_t bits = 0;
    const std::size_t n = channels.front().amplitude.size();
    for(std::size_t begin = 0; begin < n; begin += blockLength) {
      const std::size_t end = std::min(begin + blockLength, n);
      for(const auto& channel : channels) {
        for(std::size_t k = begin; k < end; ++k) {
          std::uint32_t a, p;
          std::memcpy(&a, &channel.amplitude[k], 4);
          std::memcpy(&p, &channel.phase[k], 4);
          bits |= a | p;
        }
      }
    }
    return bits;
  }

  /// Median of `rounds` timings of `repetitions` calls, in seconds per call.
  double timeIt(const std::function<void()>& run, int rounds, int repetitions) {
    std::vector<double> seconds;
    run();
    for(int r = 0; r < rounds; ++r) {
      const auto start = Clock::now();
      for(int k = 0; k < repetitions; ++k) {
        run();
        benchmark::ClobberMemory();
      }
      seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count() / repetitions);
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
  }

  /// Largest difference between two arrays.
  float largestDifference(const std::vector<float>& x, const std::vector<float>& y) {
    float worst = 0.F;
    for(std::size_t k = 0; k < x.size(); ++k) worst = std::max(worst, std::abs(x[k] - y[k]));
    return worst;
  }

} // namespace

int main(int argc, char** argv) {
  const std::size_t nChannels = argc > 1 ? std::stoul(argv[1]) : 80;
  const std::size_t nSamples = argc > 2 ? std::stoul(argv[2]) : 16384;
  const auto channels = makeChannels(nChannels, nSamples);
  const auto available = implementations();
  std::printf("%zu channels x %zu samples; best implementation: %s\n\n", nChannels, nSamples,
      nameOf(VectorSumKernels::bestImplementation()));

  // Agreement of the implementations on whole pulses.
  std::vector<std::vector<float>> iOf, qOf;
  for(auto implementation : available) {
    std::vector<float> i(nSamples), q(nSamples);
    sumPulse(kernelOf(implementation), channels, 1024, i, q);
    iOf.push_back(std::move(i));
    qOf.push_back(std::move(q));
  }
  for(std::size_t k = 1; k < available.size(); ++k) {
    const bool same = iOf[k] == iOf[0] && qOf[k] == qOf[0];
    std::printf("%s against %s: %s (largest difference %.3g)\n", nameOf(available[k]), nameOf(available[0]),
        same ? "identical" : "differ", std::max(largestDifference(iOf[k], iOf[0]), largestDifference(qOf[k], qOf[0])));
  }
  float largestSum = 0.F;
  for(std::size_t k = 0; k < nSamples; ++k) largestSum = std::max({largestSum, std::abs(iOf[0][k]), std::abs(qOf[0][k])});
  std::printf("largest |I| or |Q|: %.3g\n", largestSum);

  // The arithmetic alone: 1024 samples of one channel, all four arrays in the first-level cache.
  constexpr std::size_t l1Length = 1024;
  std::printf("\nkernel on %zu samples in the first-level cache      ns per sample\n", l1Length);
  {
    std::vector<float> i(l1Length), q(l1Length);
    std::span<const float> a(channels[0].amplitude.data() + nSamples / 2, l1Length),
        p(channels[0].phase.data() + nSamples / 2, l1Length);
    auto row = [&](const char* name, const Kernel& kernel) {
      const double s = timeIt([&] { kernel(a, p, i, q); }, 15, 2000);
      std::printf("  %-48s %8.3f\n", name, 1e9 * s / l1Length);
    };
    for(auto implementation : available) row(nameOf(implementation), kernelOf(implementation));
    row("plain loop with sinf/cosf", plainLoop);
    benchmark::DoNotOptimize(i.data());
  }

  // Whole pulses by block length; the last, the pulse length, is channel by channel over the whole pulse.
  const std::vector<std::size_t> blockLengths{256, 512, 1024, 2048, 4096, 8192, nSamples};
  const double perPulse = double(nChannels) * double(nSamples);
  std::printf("\nwhole pulse, ns per sample and channel\n");
  std::printf("  %-12s", "block");
  for(auto implementation : available) std::printf(" %10s", nameOf(implementation));
  std::printf(" %10s\n", "read once");
  std::vector<float> i(nSamples), q(nSamples);
  for(auto blockLength : blockLengths) {
    std::uint32_t sink = 0;
    const double read = timeIt([&] { sink |= readAll(channels, blockLength); }, 11, 10);
    benchmark::DoNotOptimize(sink);
    std::printf("  %-12zu", blockLength);
    for(auto implementation : available) {
      const auto kernel = kernelOf(implementation);
      const double s = timeIt([&] { sumPulse(kernel, channels, blockLength, i, q); }, 11, 10);
      std::printf(" %10.3f", 1e9 * s / perPulse);
    }
    std::printf(" %10.3f\n", 1e9 * read / perPulse);
  }
  benchmark::DoNotOptimize(i.data());
  return 0;
}
