#include "LearningFeedForwardKernels.h"

#include <armadillo>

#include <algorithm>
#include <cmath>

namespace LearningFeedForwardKernels {

  namespace {

    /// Copies `rows` x `cols` values, column-major, from `source` starting at `offset` into `matrix`.
    void copyBlock(std::span<const float> source, std::size_t offset, arma::fmat& matrix) {
      std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(offset), matrix.n_elem, matrix.memptr());
    }

  } // namespace

  bool backwardRecursion(const Model& model, std::span<const float> errorI, std::span<const float> errorQ,
      std::size_t start, std::size_t stop, std::span<float> incrementI, std::span<float> incrementQ) {
    const std::size_t n = model.order;
    if(n == 0) {
      // an empty state gives no correction
      std::fill_n(incrementI.begin(), stop - start, 0.F);
      std::fill_n(incrementQ.begin(), stop - start, 0.F);
      return true;
    }
    arma::fmat omega(2, n);
    copyBlock(model.omega, 0, omega);
    // B and Gamma are allocated once; each sample's block is copied into them
    arma::fmat beta(n, n);
    arma::fmat gamma(n, 2);
    if(model.shortMatrices) {
      copyBlock(model.betaShort, 0, beta);
      copyBlock(model.gammaShort, 0, gamma);
    }
    arma::fvec x(n, arma::fill::zeros);
    arma::fvec error(2);
    arma::fvec u(2);
    for(std::size_t k = stop; k-- > start;) {
      if(!model.shortMatrices) {
        copyBlock(model.beta, n * n * k, beta);
        copyBlock(model.gamma, 2 * n * k, gamma);
      }
      error[0] = errorI[k + 1];
      error[1] = errorQ[k + 1];
      x = beta * x + gamma * error;
      u = omega * x;
      if(!std::isfinite(u[0]) || !std::isfinite(u[1])) return false;
      incrementI[k - start] = u[0];
      incrementQ[k - start] = u[1];
    }
    return true;
  }

  void movingAverage(std::span<const float> table, std::uint32_t taps, std::span<float> out) {
    const float weight = 1.F / static_cast<float>(taps);
    const std::size_t half = taps / 2;
    for(std::size_t j = taps - 1; j < table.size(); ++j) {
      float sum = 0.F;
      for(std::size_t i = j + 1; i-- > j + 1 - taps;) sum += table[i] * weight;
      out[j - half] = sum;
    }
  }

  void smoothInPlace(std::span<float> work, std::uint32_t taps, std::size_t from, std::size_t to) {
    const float weight = 1.F / static_cast<float>(taps);
    const std::size_t half = taps / 2;
    for(std::size_t m = from; m <= to; ++m) {
      float sum = 0.F;
      for(std::size_t t = 0; t < taps; ++t) sum += work[m + half - t] * weight;
      work[m] = sum;
    }
  }

} // namespace LearningFeedForwardKernels
