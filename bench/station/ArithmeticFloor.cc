#include "ArithmeticFloor.h"

#include "AdcChannelKernels.h"
#include "ControllerChannelKernels.h"
#include "VectorSumKernels.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

namespace stationbench {

  namespace {

    struct AdcArrays {
      std::vector<std::int32_t> deviceAmplitude, devicePhase; // the device's memory
      std::vector<std::int32_t> rawAmplitude, rawPhase;       // what the read delivers
      std::vector<float> amplitude, phase, power;
    };

    struct ControllerArrays {
      std::vector<std::int32_t> deviceI, deviceQ;
      std::vector<float> i, q, amplitude, phase;
    };

    /// A pulse: amplitude counts well above the phase threshold, phases over the whole circle.
    AdcArrays adcArrays(std::size_t n, std::size_t channel) {
      AdcArrays a;
      a.deviceAmplitude.resize(n);
      a.devicePhase.resize(n);
      for(std::size_t k = 0; k < n; ++k) {
        a.deviceAmplitude[k] = std::int32_t(100000 + (k * 7 + channel * 13) % 5000);
        a.devicePhase[k] = std::int32_t((k * 37 + channel * 1000) % 262144) - 131072;
      }
      a.rawAmplitude.resize(n);
      a.rawPhase.resize(n);
      a.amplitude.resize(n);
      a.phase.resize(n);
      a.power.resize(n);
      return a;
    }

    ControllerArrays controllerArrays(std::size_t n, std::size_t channel) {
      ControllerArrays c;
      c.deviceI.resize(n);
      c.deviceQ.resize(n);
      for(std::size_t k = 0; k < n; ++k) {
        const double angle = 1e-3 * double(k + channel);
        c.deviceI[k] = std::int32_t(20000. * std::cos(angle));
        c.deviceQ[k] = std::int32_t(20000. * std::sin(angle));
      }
      c.i.resize(n);
      c.q.resize(n);
      c.amplitude.resize(n);
      c.phase.resize(n);
      return c;
    }

    void toFloat(const std::vector<std::int32_t>& from, std::vector<float>& to) {
      for(std::size_t k = 0; k < from.size(); ++k) to[k] = static_cast<float>(from[k]);
    }

    double onePulse(std::vector<AdcArrays>& adc, std::vector<ControllerArrays>& controller, std::vector<float>& sumI,
        std::vector<float>& sumQ, std::size_t n, bool statistics) {
      const auto start = std::chrono::steady_clock::now();
      AdcChannelKernels::SignalParameters parameters;
      parameters.bitScaling = 10000.;
      parameters.zeroPhaseThreshold = 0.;
      parameters.powerFactor = 1e-6;
      parameters.flattopBeginIndex = n / 4;
      std::fill(sumI.begin(), sumI.end(), 0.F);
      std::fill(sumQ.begin(), sumQ.end(), 0.F);
      volatile float sink = 0.F;
      for(auto& a : adc) {
        std::memcpy(a.rawAmplitude.data(), a.deviceAmplitude.data(), n * sizeof(std::int32_t));
        std::memcpy(a.rawPhase.data(), a.devicePhase.data(), n * sizeof(std::int32_t));
        auto results = AdcChannelKernels::computeSignals(
            a.rawAmplitude, a.rawPhase, parameters, a.amplitude, a.phase, a.power, statistics);
        if(results.statistics) sink = sink + results.statistics->amplitudeStandardDeviation;
        VectorSumKernels::accumulate(a.amplitude, a.phase, sumI, sumQ);
      }
      // the middle half of the pulse, as the station benchmark sets it (none in an empty pulse)
      const auto flattop = ControllerChannelKernels::flattop(std::uint32_t(n / 4), std::uint32_t(3 * n / 4), n);
      for(auto& c : controller) {
        toFloat(c.deviceI, c.i);
        toFloat(c.deviceQ, c.q);
        ControllerChannelKernels::computeAmplitudePhase(c.i, c.q, 3.125, 1.0, c.amplitude, c.phase);
        if(statistics && flattop) {
          sink = sink + ControllerChannelKernels::computeStatistics(c.i, c.q, c.amplitude, c.phase, *flattop)
                            .phaseStandardDeviation;
        }
      }
      (void)sink;
      return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

  } // namespace

  ArithmeticFloor measureArithmeticFloor(const ArithmeticFloorShape& shape, int repetitions) {
    const std::size_t n = shape.pulseLength;
    std::vector<AdcArrays> adc;
    for(std::size_t c = 0; c < shape.adcChannels; ++c) adc.push_back(adcArrays(n, c));
    std::vector<ControllerArrays> controller;
    for(std::size_t c = 0; c < shape.controllerChannels; ++c) controller.push_back(controllerArrays(n, c));
    std::vector<float> sumI(n), sumQ(n);

    auto best = [&](bool statistics) {
      double seconds = 0.;
      for(int r = 0; r < repetitions; ++r) {
        const double t = onePulse(adc, controller, sumI, sumQ, n, statistics);
        if(r == 0 || t < seconds) seconds = t;
      }
      return seconds;
    };
    ArithmeticFloor floor;
    floor.seconds = best(shape.statistics);
    if(shape.statistics) floor.statisticsSeconds = std::max(0., floor.seconds - best(false));
    return floor;
  }

} // namespace stationbench
