// FilterCoefficients: designs the second-order IIR filter that the board firmware applies to one ADC input
// channel, from the operator's filter type, frequency and bandwidth, and writes the five coefficients to the
// board under the board's firmware table mutex, so that the firmware never uses a half-written set.
//
// A design runs at start with the initial values and again on every update of any of the three inputs.
// Requests that give no sound filter (FilterDesign) are refused with a warning: the last good coefficients
// stay in the firmware; when there are none yet, the filter is set to pass the signal.
#pragma once

#include "FilterDesign.h"
#include "MultiClientFirmwareMutex.h"

#include <Corvane/ApplicationModule.h>
#include <Corvane/ArrayAccessor.h>
#include <Corvane/ModuleGroup.h>
#include <Corvane/ScalarAccessor.h>

#include <string>
#include <unordered_set>

class FilterCoefficients : public Corvane::ApplicationModule {
 public:
  FilterCoefficients() = default;
  /// Reads "Configuration/clockFrequency" (MHz) and "Configuration/IQdetectionLength".
  FilterCoefficients(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});
  FilterCoefficients(FilterCoefficients&&) noexcept = default;
  FilterCoefficients& operator=(FilterCoefficients&&) noexcept = default;
  ~FilterCoefficients() override = default;

  void mainLoop() override;

  /// The IQ sampling frequency in kHz: 1000 x clockFrequency / IQdetectionLength.
  double samplingFrequency{0.0};

  Corvane::ScalarPushInput<int> type{this, "type", "", "0: no filter, 1: notch, 2: low-pass, 3: block signal", {}};
  Corvane::ScalarPushInput<double> bandwidth{this, "bandwidth", "kHz", "Filter bandwidth (only for notch filter)", {}};
  Corvane::ScalarPushInput<double> frequency{
      this, "frequency", "kHz", "Filter centre/corner frequency (only for notch and low-pass filters)", {}};
  Corvane::ArrayOutput<double> coefficients{this, "coefficients", "", 5, "Filter coefficients: a0, a1, b0, b1, b2", {}};
  MultiClientFirmwareMutex::ClientInterface lockClient;

 private:
  /// Writes one coefficient set under the board's lock; the lock is released also when the write fails.
  void writeUnderLock(const FilterDesign::Coefficients& values);

  bool _written{false};
};
