// The arithmetic of the learning feed-forward, apart from the module so that it can be tested and measured on its
// own: the model-based backward recursion over the learning window, the centred moving average (FIR filter) and
// the in-place smoothing average. Single precision throughout. The functions check no index: the module validates
// its windows and settings before it calls them (LearningFeedForward.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace LearningFeedForwardKernels {

  /// Largest model order the matrix arrays are sized for.
  inline constexpr std::uint32_t maxModelOrder = 6;

  /// The system model, column-major: output matrix Omega (2 x n); per-sample state transition B_k (n x n) and error
  /// input Gamma_k (n x 2) packed with the stride of n (n*n and 2n values per sample), or, with `shortMatrices`,
  /// one B and one Gamma for every sample. Row 0 of Omega and column 0 of Gamma belong to I, row 1 and column 1
  /// to Q.
  struct Model {
    std::uint32_t order{0};
    bool shortMatrices{false};
    std::span<const float> omega, beta, gamma, betaShort, gammaShort;
  };

  /// Runs the recursion backwards over k = stop - 1 ... start, x starting at zero:
  ///   x <- B_k x + Gamma_k (errorI[k + 1], errorQ[k + 1]),  u = Omega x,
  /// and stores u in incrementI[k - start] and incrementQ[k - start]. Preconditions: start < stop < error size,
  /// order <= maxModelOrder, matrix arrays holding every block used, increments of at least stop - start values.
  /// Returns false as soon as an increment is not finite; the increments are then incomplete and must not be used.
  bool backwardRecursion(const Model& model, std::span<const float> errorI, std::span<const float> errorQ,
      std::size_t start, std::size_t stop, std::span<float> incrementI, std::span<float> incrementQ);

  /// Centred moving average of `taps` samples with weight 1/taps: for j = taps - 1 ... size - 1,
  ///   out[j - taps/2] = table[j] w + table[j - 1] w + ... + table[j - taps + 1] w   (summed in that order).
  /// The first taps - 1 - taps/2 and the last taps/2 samples of `out` are not written. Precondition:
  /// 1 <= taps <= size, out as long as table.
  void movingAverage(std::span<const float> table, std::uint32_t taps, std::span<float> out);

  /// Smoothing in place, ascending over m = from ... to:
  ///   work[m] = work[m + h] w + work[m + h - 1] w + ... + work[m + h - taps + 1] w,  h = taps/2, w = 1/taps,
  /// so that the terms below m are values already smoothed in this run. Preconditions: taps >= 1, from >= h,
  /// to + h < size.
  void smoothInPlace(std::span<float> work, std::uint32_t taps, std::size_t from, std::size_t to);

} // namespace LearningFeedForwardKernels
