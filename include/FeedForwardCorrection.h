// The feed-forward table's arithmetic, per sample and per array (I and Q alike): the operators' user correction
// and the learned correction added into whole digits, and the total that goes to the firmware, the correction
// plus the generated table's value. Plain functions without state, safe from any thread.
//
// The correction of one sample is the user correction (when applied, else 0) plus the learned one (when
// applied), added in single precision and truncated toward zero: 2.7 gives 2, -2.7 gives -2, 10 + (-2.7) gives
// 7. The sum saturates at the 32-bit limits instead of being undefined. A learned sample that is not a finite
// number adds nothing; the caller is told how many there were, to report them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace FeedForwardCorrection {

  /// The components of one array (I or Q). An empty user or learned span is a component that is not applied.
  struct Components {
    std::span<const double> generated;
    std::span<const std::int32_t> user;
    std::span<const float> learned;
  };

  /// Learned samples that added nothing because they were not finite.
  struct Unusable {
    std::size_t count{0};
    std::size_t firstIndex{0};
    float firstValue{0};
  };

  /// float(`correction`) + `learned` in single precision, truncated toward zero and saturating at the 32-bit
  /// limits; `correction` unchanged when `learned` is not finite.
  std::int32_t addLearned(std::int32_t correction, float learned);

  /// Fills `correction` (whole digits) and `total` (correction + generated, in double) for every sample of
  /// `components.generated`; the spans all have its length. Returns the learned samples left out.
  Unusable sum(const Components& components, std::span<std::int32_t> correction, std::span<double> total);

} // namespace FeedForwardCorrection
