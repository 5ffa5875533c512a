// One ADC channel's per-pulse computations on 16384 samples: the kernels of AdcChannelKernels (every
// implementation this processor runs: avx512, avx2, portable) beside a plain loop that does the same
// arithmetic on the same arrays, and beside the memory-bandwidth bound, the time to copy the same bytes (the
// two raw arrays into the three output arrays). Each with and without the full-pulse statistics. Also checks
// that every implementation and the plain loop agree to the bit and prints the phase error against the
// exact value.
//
// The ADC phase is a scaling of the board's raw phase counts (2^18 counts per turn); no atan2 is involved,
// so there is no trade between a vector math library and accuracy here: the float result is the correctly
// rounded exact value.
#include "AdcChannelKernels.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace AdcChannelKernels;
using Clock = std::chrono::steady_clock;

namespace {

  constexpr std::size_t pulseLength = 16384;

  struct Channel {
    std::vector<int32_t> rawAmplitude = std::vector<int32_t>(pulseLength);
    std::vector<int32_t> rawPhase = std::vector<int32_t>(pulseLength);
    std::vector<float> amplitude = std::vector<float>(pulseLength);
    std::vector<float> phase = std::vector<float>(pulseLength);
    std::vector<float> power = std::vector<float>(pulseLength);
    PeakPowers peaks;
    Statistics statistics;
  };

  // A pulse as the board delivers it: nothing before the RF, filling, flat-top, decay, with noise; the phase
  // drifts by a few degrees. The amplitude crosses the zero-phase threshold twice, as in operation.
  void fillPulse(Channel& channel) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 40.0);
    for(std::size_t i = 0; i < pulseLength; ++i) {
      const double t = static_cast<double>(i) / pulseLength;
      double envelope = 0.0;
      if(t >= 0.1 && t < 0.35) envelope = 1.0 - std::exp(-(t - 0.1) / 0.06);
      else if(t >= 0.35 && t < 0.75) envelope = 1.0 - std::exp(-0.25 / 0.06);
      else if(t >= 0.75) envelope = (1.0 - std::exp(-0.25 / 0.06)) * std::exp(-(t - 0.75) / 0.05);
      channel.rawAmplitude[i] = static_cast<int32_t>(std::lround(30000.0 * envelope + noise(random)));
      channel.rawPhase[i] = static_cast<int32_t>(std::lround(5000.0 * std::sin(6.0 * t) + 20.0 * noise(random)));
    }
  }

  const SignalParameters parameters{3.125, 0.02 * 30000.0 / 3.125, powerFactor(1.7, 1.1), pulseLength * 35 / 100};

  // The straightforward way, step by step as one would first write it.
  void plainLoop(Channel& c, bool withStatistics) {
    for(std::size_t i = 0; i < pulseLength; ++i) {
      const double a = static_cast<double>(c.rawAmplitude[i]) / parameters.bitScaling;
      c.amplitude[i] = static_cast<float>(a);
      if(a > parameters.zeroPhaseThreshold) {
        c.phase[i] = static_cast<float>(static_cast<double>(c.rawPhase[i]) * 360.0 * 3.814697265625e-6);
      }
      else {
        c.phase[i] = 0.F;
      }
    }
    const double factor = *parameters.powerFactor;
    c.peaks = {};
    for(std::size_t i = 0; i < pulseLength; ++i) {
      const double raw = c.rawAmplitude[i];
      const auto p = static_cast<float>(raw * raw * factor);
      c.power[i] = p;
      if(i < parameters.flattopBeginIndex) {
        if(p > c.peaks.filling) c.peaks.filling = p;
      }
      else if(p > c.peaks.flattop) {
        c.peaks.flattop = p;
      }
    }
    if(!withStatistics) return;
    float sa = 0.F, sp = 0.F, sw = 0.F;
    for(std::size_t i = 0; i < pulseLength; ++i) {
      sa += c.amplitude[i];
      sp += c.phase[i];
      sw += c.power[i];
    }
    const auto n = static_cast<float>(pulseLength);
    auto& s = c.statistics;
    s.amplitudeAverage = sa / n;
    s.phaseAverage = sp / n;
    s.powerAverage = sw / n;
    float qa = 0.F, qp = 0.F;
    for(std::size_t i = 0; i < pulseLength; ++i) {
      const float da = c.amplitude[i] - s.amplitudeAverage;
      const float dp = c.phase[i] - s.phaseAverage;
      qa += static_cast<float>(static_cast<double>(da) * static_cast<double>(da));
      qp += static_cast<float>(static_cast<double>(dp) * static_cast<double>(dp));
    }
    s.amplitudeStandardDeviation = std::sqrt(qa / (n - 1.F));
    s.phaseStandardDeviation = std::sqrt(qp / (n - 1.F));
  }

  void kernels(Channel& c, Implementation implementation, bool withStatistics) {
    const auto results = computeSignals(
        implementation, c.rawAmplitude, c.rawPhase, parameters, c.amplitude, c.phase, c.power, withStatistics);
    c.peaks = *results.peaks;
    if(withStatistics) c.statistics = *results.statistics;
  }

  // As the channel module published the power before it computed it into the output's buffer: into a
  // power array of its own, then copied into the output for the destructive write.
  void kernelsThenCopyPower(
      Channel& c, std::vector<float>& ownPower, Implementation implementation, bool withStatistics) {
    const auto results = computeSignals(
        implementation, c.rawAmplitude, c.rawPhase, parameters, c.amplitude, c.phase, ownPower, withStatistics);
    std::copy(ownPower.begin(), ownPower.end(), c.power.begin());
    c.peaks = *results.peaks;
    if(withStatistics) c.statistics = *results.statistics;
  }

  void copyBound(Channel& c) {
    std::memcpy(c.amplitude.data(), c.rawAmplitude.data(), pulseLength * sizeof(float));
    std::memcpy(c.phase.data(), c.rawPhase.data(), pulseLength * sizeof(float));
    std::memcpy(c.power.data(), c.rawAmplitude.data(), pulseLength * sizeof(float));
  }

  struct Variant {
    std::string name;
    std::function<void(Channel&)> run;
    std::vector<double> rounds{}; // microseconds per pulse, one entry per round
    double median() const {
      auto sorted = rounds;
      std::sort(sorted.begin(), sorted.end());
      return sorted[sorted.size() / 2];
    }
  };

  bool sameResults(const Channel& a, const Channel& b, bool withStatistics) {
    auto same = [](const std::vector<float>& x, const std::vector<float>& y) {
      return std::memcmp(x.data(), y.data(), x.size() * sizeof(float)) == 0;
    };
    bool result = same(a.amplitude, b.amplitude) && same(a.phase, b.phase) && same(a.power, b.power) &&
        a.peaks.filling == b.peaks.filling && a.peaks.flattop == b.peaks.flattop;
    if(withStatistics) result = result && std::memcmp(&a.statistics, &b.statistics, sizeof(Statistics)) == 0;
    return result;
  }

  /// Every implementation this processor runs, the fastest first.
  std::vector<Implementation> availableImplementations() {
    std::vector<Implementation> result;
    for(auto implementation : {Implementation::avx512, Implementation::avx2, Implementation::portable}) {
      if(isAvailable(implementation)) result.push_back(implementation);
    }
    return result;
  }

} // namespace

int main() {
  Channel channel;
  fillPulse(channel);
  const Implementation best = bestImplementation();
  const auto implementations = availableImplementations();

  // Correctness first: every variant against the plain loop, and the phase against its exact value.
  for(bool withStatistics : {false, true}) {
    Channel plain = channel;
    plainLoop(plain, withStatistics);
    for(auto implementation : implementations) {
      Channel computed = channel;
      kernels(computed, implementation, withStatistics);
      if(!sameResults(plain, computed, withStatistics)) {
        std::printf("MISMATCH between kernels (%s) and plain loop (statistics %s)\n", nameOf(implementation),
            withStatistics ? "on" : "off");
        return 1;
      }
    }
    Channel copied = channel;
    std::vector<float> ownPower(pulseLength);
    kernelsThenCopyPower(copied, ownPower, best, withStatistics);
    if(!sameResults(plain, copied, withStatistics)) {
      std::printf("MISMATCH between kernels with a copied power and plain loop (statistics %s)\n",
          withStatistics ? "on" : "off");
      return 1;
    }
  }
  {
    Channel c = channel;
    kernels(c, best, false);
    long double worst = 0;
    std::size_t withPhase = 0;
    for(std::size_t i = 0; i < pulseLength; ++i) {
      if(c.phase[i] == 0.F) continue;
      ++withPhase;
      const long double exact = static_cast<long double>(c.rawPhase[i]) * 360.0L / 262144.0L;
      worst = std::max(worst, std::fabs(static_cast<long double>(c.phase[i]) - exact));
    }
    // 18-bit counts times 45 / 2^15 need at most 24 significant bits: the float phase is then exact.
    std::printf("phase: %zu of %zu samples above the threshold; largest error against the exact value "
                "%.3Lg deg; kernels (",
        withPhase, pulseLength, worst);
    for(std::size_t k = 0; k < implementations.size(); ++k) {
      std::printf("%s%s", k == 0 ? "" : ", ", nameOf(implementations[k]));
    }
    std::printf(") and plain loop agree to the bit; best implementation %s\n\n", nameOf(best));
  }

  auto kernelsName = [](Implementation implementation, const char* suffix) {
    return std::string("kernels (") + nameOf(implementation) + ")" + suffix;
  };
  std::vector<Variant> variants;
  variants.push_back({"copy of the same bytes", [](Channel& c) { copyBound(c); }});
  const std::size_t plainIndex = variants.size();
  variants.push_back({"plain loop", [](Channel& c) { plainLoop(c, false); }});
  const std::size_t kernelsIndex = variants.size();
  for(std::size_t k = 0; k < implementations.size(); ++k) {
    const auto implementation = implementations[k];
    variants.push_back(
        {kernelsName(implementation, ""), [implementation](Channel& c) { kernels(c, implementation, false); }});
  }
  const std::size_t plainStatisticsIndex = variants.size();
  variants.push_back({"plain loop + statistics", [](Channel& c) { plainLoop(c, true); }});
  const std::size_t kernelsStatisticsIndex = variants.size();
  for(std::size_t k = 0; k < implementations.size(); ++k) {
    const auto implementation = implementations[k];
    variants.push_back({kernelsName(implementation, " + statistics"),
        [implementation](Channel& c) { kernels(c, implementation, true); }});
  }
  // the module's pass (best implementation) without and with the former copy of the power
  std::vector<float> ownPower(pulseLength);
  const std::size_t powerInPlace = variants.size();
  for(bool withStatistics : {false, true}) {
    variants.push_back({withStatistics ? "power in the output + statistics" : "power in the output",
        [best, withStatistics](Channel& c) { kernels(c, best, withStatistics); }});
    variants.push_back({withStatistics ? "power copied to it + statistics" : "power copied to it",
        [best, withStatistics, &ownPower](Channel& c) { kernelsThenCopyPower(c, ownPower, best, withStatistics); }});
  }

  constexpr int rounds = 21;
  constexpr int pulsesPerRound = 400;
  for(int round = 0; round < rounds; ++round) {
    for(auto& variant : variants) {
      const auto start = Clock::now();
      for(int pulse = 0; pulse < pulsesPerRound; ++pulse) {
        variant.run(channel);
        benchmark::DoNotOptimize(channel.amplitude.data());
        benchmark::DoNotOptimize(channel.statistics);
        benchmark::ClobberMemory();
      }
      variant.rounds.push_back(
          std::chrono::duration<double, std::micro>(Clock::now() - start).count() / pulsesPerRound);
    }
  }

  const double copy = variants[0].median();
  std::printf("%zu samples per pulse, median of %d rounds of %d pulses\n", pulseLength, rounds, pulsesPerRound);
  std::printf("%-34s %10s %12s %12s\n", "", "us/pulse", "vs plain", "vs copy");
  for(const auto& variant : variants) {
    const bool statistics = variant.name.find("statistics") != std::string::npos;
    const double plain = variants[statistics ? plainStatisticsIndex : plainIndex].median();
    std::printf("%-34s %10.2f %12.2f %12.2f\n", variant.name.c_str(), variant.median(), variant.median() / plain,
        variant.median() / copy);
  }
  for(std::size_t k = powerInPlace; k < powerInPlace + 4; k += 2) {
    std::printf("\n%s: power computed into the output %.2f us, into an array of its own and copied %.2f us",
        k == powerInPlace ? "without statistics" : "with statistics", variants[k].median(), variants[k + 1].median());
  }
  std::printf("\n");
  // each implementation against the next slower one, without and with statistics
  for(std::size_t k = 0; k + 1 < implementations.size(); ++k) {
    std::printf("\n%s against %s:", nameOf(implementations[k]), nameOf(implementations[k + 1]));
    for(std::size_t first : {kernelsIndex, kernelsStatisticsIndex}) {
      const double faster = variants[first + k].median();
      const double slower = variants[first + k + 1].median();
      std::printf("%s %.2f against %.2f us (%.0f %% less time)", first == kernelsIndex ? "" : "; with statistics",
          faster, slower, 100.0 * (1.0 - faster / slower));
    }
  }
  std::printf("\n");
  return 0;
}
