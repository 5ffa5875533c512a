// Coefficient design of the second-order IIR filter that every ADC input channel has in the board firmware.
//
// The firmware filter is H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a0 z^-1 + a1 z^-2); the design returns
// {a0, a1, b0, b1, b2}. A notch and a second-order Butterworth low-pass come from the bilinear transform,
// pre-warped at the requested frequency; "no filter" passes the signal, "block" sets everything to 0.
// Requests the arithmetic cannot turn into a sound filter are refused, never handed to the board: for the
// inputs the type uses, a frequency at or below 0 or at or above half the sampling rate, a bandwidth at or
// below 0, anything not finite, and any design whose coefficients come out not finite.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace FilterDesign {

  /// Values of the channel's "type" input; every other value blocks the signal, like `block`.
  enum class FilterType : int32_t { none = 0, notch = 1, lowPass = 2, block = 3 };

  /// a0, a1, b0, b1, b2.
  using Coefficients = std::array<double, 5>;

  inline constexpr Coefficients passThrough{0.0, 0.0, 1.0, 0.0, 0.0};
  inline constexpr Coefficients blocked{0.0, 0.0, 0.0, 0.0, 0.0};

  /// The coefficients, or the reason why the request was refused.
  struct Design {
    std::optional<Coefficients> coefficients;
    std::string refusal;
  };

  /// Frequencies in kHz: `frequency` is the notch centre or low-pass corner, `bandwidth` the notch width,
  /// `samplingFrequency` the IQ sampling rate.
  Design design(int32_t type, double frequency, double bandwidth, double samplingFrequency);

} // namespace FilterDesign
