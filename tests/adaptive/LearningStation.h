// The learning feed-forward alone, started with settings under which every pulse completes a learning cycle: one
// sample per microsecond, pulse start 4, learning window 4 ... 43 (error window 14 ... 33) of a 64-sample table,
// and a first-order model that adds the next sample's averaged error to I (omega 1, 0; beta 0; gamma 1, 0).
#pragma once

#include "AdaptiveStation.h"

#include <cstddef>
#include <functional>

namespace adaptivetest {

  constexpr std::uint32_t length = 64;
  constexpr std::int32_t pulseStart = 4;
  constexpr std::int32_t learningStop = 44;

  using Trace = std::vector<float>;

  inline Trace constant(float value) { return Trace(length, value); }

  /// Gamma of a model of order n with the same block at every sample.
  inline std::vector<float> everySample(const std::vector<float>& block, std::size_t totalSize) {
    std::vector<float> result(totalSize, 0.F);
    for(std::size_t k = 0; (k + 1) * block.size() <= totalSize && k < length; ++k) {
      std::copy(block.begin(), block.end(), result.begin() + static_cast<std::ptrdiff_t>(k * block.size()));
    }
    return result;
  }

  struct Learning : Running<LearningApp> {
    Learning() : Running(length, 1) {
      parameter<Boolean>("enable", Boolean(true));
      parameter<std::uint32_t>("triggerDecimation", 1);
      parameter<double>("maxControlError", 1e6);
      parameter<std::uint32_t>("outputLimit", 1000);
      parameter<std::uint32_t>("firExtraTriggerDecimation", 1);
      parameter<std::uint32_t>("modelOrder", 1);
      matrices({1.F, 0.F}, {0.F}, {1.F, 0.F});
      test.setScalarDefault<double>("/Configuration/samplingFrequency", 1.0);
      test.setScalarDefault<Boolean>("/Controller/FeedForward/enable", Boolean(true));
      test.setScalarDefault<Boolean>("/Controller/FeedBack/enable", Boolean(true));
      test.setScalarDefault<double>(pulseShape + "delay", pulseStart);
      test.setScalarDefault<double>(pulseShape + "fillingDuration", 20.0);
      test.setScalarDefault<double>(pulseShape + "flattopDuration", 20.0);
    }

    /// Runs the application with the settings made so far.
    Learning& started() {
      test.runApplication();
      running = true;
      return *this;
    }

    /// A setting of "/LearningFeedForward" before the start; afterwards it is written and takes effect at the
    /// next pulse.
    template<class T>
    void parameter(const std::string& name, T value) {
      setting<T>(lff + name, value);
    }
    /// The same for any other path.
    template<class T>
    void setting(const std::string& path, T value) {
      if(running)
        test.writeScalar<T>(path, value);
      else
        test.setScalarDefault<T>(path, value);
    }

    /// Omega, and the same beta and gamma block at every sample.
    void matrices(const std::vector<float>& omega, const std::vector<float>& beta, const std::vector<float>& gamma) {
      auto omegaArray = omega;
      omegaArray.resize(12, 0.F);
      setArray(lff + "matrixOmega", omegaArray);
      setArray(lff + "matrixBeta", everySample(beta, 36 * length));
      setArray(lff + "matrixGamma", everySample(gamma, 12 * length));
    }
    void setArray(const std::string& path, const std::vector<float>& value) {
      if(running)
        test.writeArray<float>(path, value);
      else
        test.setArrayDefault<float>(path, value);
    }

    /// One macro-pulse: a new controller error trace.
    void pulse(const Trace& errorI, const Trace& errorQ) {
      test.writeArray<float>("/Controller/Error/DAQ/I", errorI);
      test.writeArray<float>("/Controller/Error/DAQ/Q", errorQ);
      test.stepApplication();
    }
    void pulse(float errorI = 1.F, float errorQ = 0.F) { pulse(constant(errorI), constant(errorQ)); }

    std::string message() { return read<std::string>(lff + "message"); }
    Trace I() { return test.readArray<float>(tableI); }
    Trace Q() { return test.readArray<float>(tableQ); }
    std::uint64_t tableWrites() { return test.updateCount(tableI); }

    bool running{false};
  };

} // namespace adaptivetest
