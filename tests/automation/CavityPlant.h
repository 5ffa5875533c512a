// A cavity with its controller, in steady state, standing in for the controller board's DAQ channels in the
// automation's tests. On every trigger it takes the drive as the automation set it up (set point, gain, the
// automation's cascade rotation, the two switches as the board has them, the DAC offsets) and publishes the
// vector sum, the controller error and the proportional output that follow, flat over the pulse.
//
// The drive path turns the controller's output by `drivePath`; the vector modulator's DAC offsets, plus an offset
// error of its own, leak into the vector sum through `dacToVectorSum` whether RF is on or not. With feedback on,
// the loop output is set point plus gain x error, so the vector sum is
//   (K x setPoint x (ff + g) + leak) / (1 + K x g),   K = drivePath x cascade,
// and the error is setPoint - vectorSum.
#pragma once

#include "DaqChannelSamples.h"

#include <Corvane/ApplicationModule.h>
#include <Corvane/ReadAnyGroup.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

#include <atomic>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>

namespace automationtest {

  inline std::complex<double> polarDegrees(double magnitude, double degrees) {
    return std::polar(magnitude, degrees * std::numbers::pi / 180.0);
  }

  class CavityPlant : public Corvane::ApplicationModule {
   public:
    using Corvane::ApplicationModule::ApplicationModule;

    // The plant, set before the application runs.
    std::complex<double> drivePath{polarDegrees(0.85, 15.0)};
    std::complex<double> dacToVectorSum{0.0};
    std::complex<double> dacOffsetError{0.0};
    /// While set, the board delivers no traces (the triggers still come).
    std::atomic<bool> silent{false};

    Corvane::ScalarPushInput<std::int64_t> trigger{this, "/Server/triggerNumber", "", "", {}};
    Corvane::ScalarPollInput<double> setPointAmplitude{this, "/Controller/SetPoint/amplitude", "", "", {}};
    Corvane::ScalarPollInput<double> setPointPhase{this, "/Controller/SetPoint/phase", "", "", {}};
    Corvane::ScalarPollInput<double> gain{this, "/Controller/FeedBack/Gain/magnitude", "", "", {}};
    Corvane::ScalarPollInput<double> cascadeScale{
        this, "/Controller/Output/Calibration/CascadeInputAutomation/scale", "", "", {}};
    Corvane::ScalarPollInput<double> cascadeAngle{
        this, "/Controller/Output/Calibration/CascadeInputAutomation/angle", "", "", {}};
    Corvane::ScalarPollInput<std::int32_t> cascadeEnable{
        this, "/Controller/Output/Calibration/CascadeInputAutomation/enable", "", "", {}};
    Corvane::ScalarPollInput<Corvane::Boolean> feedForwardOn{this, "/Controller/FeedForward/enable_actual", "", "", {}};
    Corvane::ScalarPollInput<Corvane::Boolean> feedBackOn{this, "/Controller/FeedBack/enable_actual", "", "", {}};
    Corvane::ScalarPollInput<std::int32_t> dacI{this, "/Controller/VectorModulator/DacOffset/I", "", "", {}};
    Corvane::ScalarPollInput<std::int32_t> dacQ{this, "/Controller/VectorModulator/DacOffset/Q", "", "", {}};

    DaqChannelSamples<Corvane::ScalarOutput> vectorSum{this, "/Controller/VectorSum", "", {}};
    DaqChannelSamples<Corvane::ScalarOutput> error{this, "/Controller/Error", "", {}};
    Corvane::ScalarOutput<float> proportionalI{this, "/Controller/Output/Proportional/DAQ/Statistics/IAverage", "", "", {}};
    Corvane::ScalarOutput<float> proportionalQ{this, "/Controller/Output/Proportional/DAQ/Statistics/QAverage", "", "", {}};

    void prepare() override { writeAll(false); }

    void mainLoop() override {
      auto group = readAnyGroup();
      while(true) {
        group.readAny();
        if(!silent) publishPulse();
      }
    }

   private:
    void publishPulse() {
      const auto setPoint = polarDegrees(setPointAmplitude, setPointPhase);
      const auto cascade = cascadeEnable != 0 ? polarDegrees(cascadeScale, cascadeAngle) : std::complex<double>(1.0);
      const auto k = drivePath * cascade;
      const double ff = feedForwardOn ? 1.0 : 0.0;
      const double g = feedBackOn ? static_cast<double>(gain) : 0.0;
      const auto leak = dacToVectorSum * (std::complex<double>(dacI, dacQ) + dacOffsetError);
      const auto sum = (k * setPoint * (ff + g) + leak) / (1.0 + k * g);
      const auto controlError = setPoint - sum;
      publish(vectorSum, sum);
      publish(error, controlError);
      proportionalI.setAndWrite(static_cast<float>((g * controlError).real()));
      proportionalQ.setAndWrite(static_cast<float>((g * controlError).imag()));
    }

    static void publish(DaqChannelSamples<Corvane::ScalarOutput>& channel, std::complex<double> value) {
      const auto I = static_cast<float>(value.real());
      const auto Q = static_cast<float>(value.imag());
      const auto amplitude = static_cast<float>(std::abs(value));
      const auto phase = static_cast<float>(std::arg(value) * 180.0 / std::numbers::pi);
      auto& samples = channel.daq.samples;
      auto& statistics = channel.daq.statistics;
      samples.I = I;
      samples.Q = Q;
      samples.amplitude = amplitude;
      samples.phase = phase;
      statistics.IAverage = I;
      statistics.QAverage = Q;
      statistics.amplitudeAverage = amplitude;
      statistics.phase = phase;
      channel.writeAll(false);
    }
  };

} // namespace automationtest
