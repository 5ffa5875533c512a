// Placement of an averaging window in the pulse: the flat-top bounds that the pulse shape gives, and the
// window's first and last sample from its settings. Pure arithmetic, apart from the module that publishes it.
//
// Index arithmetic is unsigned 64-bit and wraps on purpose: a window that would start before sample 0 starts at a
// huge index and is then reported as "start past end". Conversions of times to indices never see a negative,
// non-finite or out-of-range value: such a pulse shape is an invalid flat-top configuration.
#pragma once

#include <cstdint>
#include <optional>

namespace OutputVectorCorrection {

  /// The pulse shape as the windows see it: sampling frequency (MHz), delay, filling and flat-top duration (us).
  struct PulseTiming {
    double samplingFrequency{};
    double delay{};
    double fillingDuration{};
    double flattopDuration{};
  };

  /// Indices derived from the pulse shape.
  struct FlattopBounds {
    std::uint64_t pulseStart{};   ///< first sample of the pulse
    std::uint64_t flattopStart{}; ///< first sample of the flat-top
    std::uint64_t lastUsable{};   ///< three samples before the computed end of the flat-top
  };

  /// Bounds for a pulse of `pulseLength` samples, or nullopt when the configuration cannot hold a window: flat-top
  /// start after its last usable sample, either past the pulse, an empty pulse, or a time that does not convert
  /// to an index (negative, non-finite, beyond 32 bits).
  std::optional<FlattopBounds> flattopBounds(const PulseTiming& timing, std::uint32_t pulseLength);

  /// The settings of one window.
  struct WindowSettings {
    std::int32_t fromFlattopEnd{};
    std::uint32_t poi{};
    std::int32_t offset{};
    std::uint32_t length{1};
  };

  /// A placed window with the bounds it must keep to (all inclusive).
  struct WindowRange {
    std::uint64_t start{};
    std::uint64_t end{};
    std::uint64_t minimum{};
    std::uint64_t maximum{};

    bool startPastEnd() const { return start > end; }
    bool endPastMaximum() const { return end > maximum; }
    bool startBeforeMinimum() const { return start < minimum; }
    bool outOfRange() const { return startPastEnd() || endPastMaximum() || startBeforeMinimum(); }
  };

  /// Poi values: the reference point is the window's first sample, its last sample, or its centre.
  enum class PointOfInterest : std::uint32_t { beginning = 0, end = 1, centre = 2 };

  /// The window of `settings` (length at least 1) in a pulse of `pulseLength` samples, or nullopt for a poi that
  /// names no point. The maximum never reaches the pulse length, so a window in range ends inside the pulse.
  std::optional<WindowRange> placeWindow(
      const FlattopBounds& bounds, const WindowSettings& settings, std::uint32_t pulseLength);

} // namespace OutputVectorCorrection
