#include "OutputVectorCorrection/WindowPlacement.h"

#include <cmath>
#include <limits>

namespace OutputVectorCorrection {

  namespace {

    /// A sample position (already rounded) as an index, if it is one: finite, not negative, within 32 bits.
    std::optional<std::uint64_t> toIndex(double position) {
      constexpr double largest = std::numeric_limits<std::uint32_t>::max();
      if(!std::isfinite(position) || position < 0.0 || position > largest) return std::nullopt;
      return static_cast<std::uint64_t>(position);
    }

  } // namespace

  std::optional<FlattopBounds> flattopBounds(const PulseTiming& t, std::uint32_t pulseLength) {
    const double fs = t.samplingFrequency;
    auto pulseStart = toIndex(std::ceil(fs * t.delay));
    auto flattopStart = toIndex(std::ceil(fs * (t.delay + t.fillingDuration)));
    auto flattopEnd = toIndex(std::floor((t.delay + t.fillingDuration + t.flattopDuration) * fs));
    if(!pulseStart || !flattopStart || !flattopEnd || pulseLength == 0) return std::nullopt;
    FlattopBounds b{*pulseStart, *flattopStart, *flattopEnd - 3}; // wraps below 3: then past the pulse
    const std::uint64_t n = pulseLength;
    if(b.flattopStart > b.lastUsable || n < b.lastUsable || n < b.flattopStart) return std::nullopt;
    return b;
  }

  std::optional<WindowRange> placeWindow(
      const FlattopBounds& bounds, const WindowSettings& s, std::uint32_t pulseLength) {
    const std::uint64_t lastSample = std::uint64_t{pulseLength} - 1;
    const auto offset = static_cast<std::uint64_t>(static_cast<std::int64_t>(s.offset)); // sign-extended
    std::uint64_t ref{};
    WindowRange w;
    if(s.fromFlattopEnd != 0) {
      ref = bounds.lastUsable + offset;
      w.minimum = bounds.flattopStart;
      w.maximum = lastSample;
    }
    else {
      ref = bounds.flattopStart + offset;
      w.minimum = bounds.pulseStart;
      // the last usable sample may equal the pulse length; no window may end there
      w.maximum = bounds.lastUsable < lastSample ? bounds.lastUsable : lastSample;
    }
    const std::uint64_t length = s.length;
    switch(static_cast<PointOfInterest>(s.poi)) {
      case PointOfInterest::beginning:
        w.start = ref;
        w.end = ref + length - 1;
        break;
      case PointOfInterest::end:
        w.end = ref;
        w.start = ref - length + 1;
        break;
      case PointOfInterest::centre:
        w.start = ref - (length - 1) / 2;
        w.end = ref + length / 2; // ceil((length - 1) / 2)
        break;
      default:
        return std::nullopt;
    }
    return w;
  }

} // namespace OutputVectorCorrection
