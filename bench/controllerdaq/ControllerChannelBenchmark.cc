// One controller DAQ channel's per-pulse work on 16384 samples: amplitude and phase from I and Q, and the
// flat-top statistics, with the kernels of ControllerChannelKernels (best and portable) beside a plain loop
// doing the same arithmetic, and beside the memory-bandwidth bound, the time to copy the same bytes (I and Q
// into amplitude and phase). Checks first that the portable kernels and the plain loop agree to the bit, and
// that the AVX2 kernels agree in the amplitude to the bit and in the phase within 2e-5 degrees of the exact
// value (the largest error of both phases is printed).
//
// The portable phase is a float atan2 per sample above the zero-phase threshold; it dominates, so the
// figures are also given for a pulse whose amplitude never crosses the threshold (amplitude only). The AVX2
// phase is a polynomial atan2 eight samples at a time; amplitude and phase alone are timed with both.
#include "ControllerChannelKernels.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

using namespace ControllerChannelKernels;
using Clock = std::chrono::steady_clock;

namespace {

  constexpr std::size_t pulseLength = 16384;
  constexpr double bitScaling = 3.125;

  struct Channel {
    std::vector<float> i = std::vector<float>(pulseLength);
    std::vector<float> q = std::vector<float>(pulseLength);
    std::vector<float> amplitude = std::vector<float>(pulseLength);
    std::vector<float> phase = std::vector<float>(pulseLength);
    Statistics statistics;
    double threshold{0.0};
  };

  // A pulse as the firmware records it: nothing before the RF, filling, flat-top, decay, with noise; the
  // phase turns slowly. The amplitude crosses the zero-phase threshold twice, as in operation.
  void fillPulse(Channel& channel) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 40.0);
    for(std::size_t k = 0; k < pulseLength; ++k) {
      const double t = static_cast<double>(k) / pulseLength;
      double envelope = 0.0;
      if(t >= 0.1 && t < 0.35) envelope = 1.0 - std::exp(-(t - 0.1) / 0.06);
      else if(t >= 0.35 && t < 0.75) envelope = 1.0 - std::exp(-0.25 / 0.06);
      else if(t >= 0.75) envelope = (1.0 - std::exp(-0.25 / 0.06)) * std::exp(-(t - 0.75) / 0.05);
      const double angle = 0.3 + 0.2 * std::sin(6.0 * t);
      channel.i[k] = static_cast<float>(30000.0 * envelope * std::cos(angle) + noise(random));
      channel.q[k] = static_cast<float>(30000.0 * envelope * std::sin(angle) + noise(random));
    }
    channel.threshold = 0.02 * 30000.0 / bitScaling;
  }

  const Flattop flattopOfPulse{pulseLength * 35 / 100, pulseLength * 75 / 100 - 1, false};

  // The straightforward way, step by step as one would first write it.
  void plainLoop(Channel& c) {
    for(std::size_t k = 0; k < pulseLength; ++k) {
      const double i = c.i[k], q = c.q[k];
      c.amplitude[k] = static_cast<float>(std::sqrt(i * i + q * q) / bitScaling);
      c.phase[k] = c.amplitude[k] > static_cast<float>(c.threshold) ? atan2f(c.q[k], c.i[k]) / 3.14159274F * 180.F
                                                                     : 0.F;
    }
    Statistics& s = c.statistics;
    s = {};
    const auto n = static_cast<float>(flattopOfPulse.end + 1 - flattopOfPulse.begin);
    for(std::size_t k = flattopOfPulse.begin; k <= flattopOfPulse.end; ++k) {
      s.iAverage += c.i[k];
      s.qAverage += c.q[k];
      s.amplitudeAverage += c.amplitude[k];
      s.phaseAverage += c.phase[k];
    }
    s.iAverage /= n;
    s.qAverage /= n;
    s.amplitudeAverage /= n;
    s.phaseAverage /= n;
    float qa = 0.F, qp = 0.F;
    for(std::size_t k = flattopOfPulse.begin; k <= flattopOfPulse.end; ++k) {
      const float da = c.amplitude[k] - s.amplitudeAverage;
      const float dp = c.phase[k] - s.phaseAverage;
      qa += static_cast<float>(static_cast<double>(da) * static_cast<double>(da));
      qp += static_cast<float>(static_cast<double>(dp) * static_cast<double>(dp));
    }
    s.amplitudeStandardDeviation = std::sqrt(qa / (n - 1.F));
    s.phaseStandardDeviation = std::sqrt(qp / (n - 1.F));
  }

  void kernels(Channel& c, Implementation implementation) {
    computeAmplitudePhase(implementation, c.i, c.q, bitScaling, c.threshold, c.amplitude, c.phase);
    c.statistics = computeStatistics(c.i, c.q, c.amplitude, c.phase, flattopOfPulse);
  }

  void copyBound(Channel& c) {
    std::memcpy(c.amplitude.data(), c.i.data(), pulseLength * sizeof(float));
    std::memcpy(c.phase.data(), c.q.data(), pulseLength * sizeof(float));
  }

  struct Variant {
    const char* name;
    std::function<void(Channel&)> run;
    bool belowThreshold{false};
    std::vector<double> rounds{}; // microseconds per pulse, one entry per round
    double median() const {
      auto sorted = rounds;
      std::sort(sorted.begin(), sorted.end());
      return sorted[sorted.size() / 2];
    }
  };

  bool sameFloats(const std::vector<float>& x, const std::vector<float>& y) {
    return std::memcmp(x.data(), y.data(), x.size() * sizeof(float)) == 0;
  }

  bool sameResults(const Channel& a, const Channel& b) {
    return sameFloats(a.amplitude, b.amplitude) && sameFloats(a.phase, b.phase) &&
        std::memcmp(&a.statistics, &b.statistics, sizeof(Statistics)) == 0;
  }

  /// Largest difference from the exact phase in degrees where the amplitude lies above the threshold; -1 if
  /// a phase below it is not 0.
  double largestPhaseError(const Channel& c) {
    double worst = 0.0;
    for(std::size_t k = 0; k < pulseLength; ++k) {
      if(!(c.amplitude[k] > static_cast<float>(c.threshold))) {
        if(c.phase[k] != 0.F) return -1.0;
        continue;
      }
      const double exact =
          std::atan2(static_cast<double>(c.q[k]), static_cast<double>(c.i[k])) * 180.0 / std::numbers::pi;
      worst = std::max(worst, std::fabs(static_cast<double>(c.phase[k]) - exact));
    }
    return worst;
  }

} // namespace

int main() {
  Channel channel;
  fillPulse(channel);
  Channel quiet = channel; // no sample above the threshold: no atan2 at all
  quiet.threshold = 1e30;
  const Implementation best = AdcChannelKernels::bestImplementation();
  // avx512 runs the AVX2 code here
  const std::string bestName = std::string("kernels (") + AdcChannelKernels::nameOf(best) +
      (best == Implementation::avx512 ? ": avx2 code)" : ")");

  const bool avx2 = AdcChannelKernels::isAvailable(Implementation::avx2);
  double portableError = 0.0, avx2Error = 0.0;
  for(const Channel* input : {&channel, &quiet}) {
    Channel plain = *input, portable = *input;
    plainLoop(plain);
    kernels(portable, Implementation::portable);
    if(!sameResults(plain, portable)) {
      std::printf("MISMATCH between portable kernels and plain loop\n");
      return 1;
    }
    portableError = std::max(portableError, largestPhaseError(portable));
    if(!avx2) continue;
    Channel vector = *input;
    kernels(vector, Implementation::avx2);
    const double error = largestPhaseError(vector);
    if(!sameFloats(plain.amplitude, vector.amplitude) || error < 0.0 || error > 2e-5) {
      std::printf("MISMATCH between AVX2 kernels and plain loop (largest phase error %.3g deg)\n", error);
      return 1;
    }
    avx2Error = std::max(avx2Error, error);
  }
  std::printf("portable kernels and plain loop agree to the bit%s\n", avx2 ? "; AVX2 ones in the amplitude" : "");
  std::printf("largest phase error against atan2 in double: portable %.3g deg", portableError);
  if(avx2) std::printf(", avx2 %.3g deg", avx2Error);
  std::printf("\n\n");

  std::vector<Variant> variants;
  variants.push_back({"copy of the same bytes", [](Channel& c) { copyBound(c); }});
  variants.push_back({"plain loop", [](Channel& c) { plainLoop(c); }});
  variants.push_back({bestName.c_str(), [best](Channel& c) { kernels(c, best); }});
  variants.push_back({"kernels (portable)", [](Channel& c) { kernels(c, Implementation::portable); }});
  variants.push_back({"plain loop, no phase", [](Channel& c) { plainLoop(c); }, true});
  variants.push_back({"kernels, no phase", [best](Channel& c) { kernels(c, best); }, true});
  // amplitude and phase alone, without the statistics
  const std::size_t amplitudePhaseOnly = variants.size();
  for(auto implementation : {Implementation::portable, Implementation::avx2}) {
    if(!AdcChannelKernels::isAvailable(implementation)) continue;
    variants.push_back(
        {implementation == Implementation::avx2 ? "amplitude + phase (avx2)" : "amplitude + phase (portable)",
            [implementation](Channel& c) {
              computeAmplitudePhase(implementation, c.i, c.q, bitScaling, c.threshold, c.amplitude, c.phase);
            }});
  }

  constexpr int rounds = 21;
  constexpr int pulsesPerRound = 200;
  for(int round = 0; round < rounds; ++round) {
    for(auto& variant : variants) {
      Channel& c = variant.belowThreshold ? quiet : channel;
      const auto start = Clock::now();
      for(int pulse = 0; pulse < pulsesPerRound; ++pulse) {
        variant.run(c);
        benchmark::DoNotOptimize(c.amplitude.data());
        benchmark::DoNotOptimize(c.statistics);
        benchmark::ClobberMemory();
      }
      variant.rounds.push_back(
          std::chrono::duration<double, std::micro>(Clock::now() - start).count() / pulsesPerRound);
    }
  }

  const double copy = variants[0].median();
  std::printf("%zu samples per pulse, flat-top of %zu, median of %d rounds of %d pulses\n", pulseLength,
      flattopOfPulse.end + 1 - flattopOfPulse.begin, rounds, pulsesPerRound);
  std::printf("%-28s %10s %12s %12s\n", "", "us/pulse", "vs plain", "vs copy");
  for(const auto& variant : variants) {
    const double plain = variants[variant.belowThreshold ? 4 : 1].median();
    std::printf("%-28s %10.2f %12.2f %12.2f\n", variant.name, variant.median(), variant.median() / plain,
        variant.median() / copy);
  }
  if(avx2) {
    const double portable = variants[amplitudePhaseOnly].median();
    const double vector = variants[amplitudePhaseOnly + 1].median();
    std::printf("\namplitude + phase of %zu samples: portable %.2f us, avx2 %.2f us (%.1f times faster)\n", pulseLength,
        portable, vector, portable / vector);
  }
  return 0;
}
