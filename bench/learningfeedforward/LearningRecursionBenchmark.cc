// One learning cycle of the learning feed-forward: the backward recursion over the whole pulse with per-sample
// matrices, as the module runs it (Armadillo, single precision, the matrices copied out of the input arrays at
// every sample), beside a plain loop that forms the same matrix-vector products in place. Prints the median time
// of one cycle of each and checks that both give the same corrections.
//
// Usage: bench_learningfeedforward [samples] [order]
#include "LearningFeedForwardKernels.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace Kernels = LearningFeedForwardKernels;
using Clock = std::chrono::steady_clock;

namespace {

  /// The same recursion written out: x <- B_k x + Gamma_k e, u = Omega x, column-major blocks.
  void plainRecursion(const Kernels::Model& model, const std::vector<float>& errorI, const std::vector<float>& errorQ,
      std::size_t start, std::size_t stop, std::vector<float>& incrementI, std::vector<float>& incrementQ) {
    const std::size_t n = model.order;
    float x[Kernels::maxModelOrder] = {};
    float next[Kernels::maxModelOrder];
    for(std::size_t k = stop; k-- > start;) {
      const float* b = model.beta.data() + n * n * k;
      const float* g = model.gamma.data() + 2 * n * k;
      const float e0 = errorI[k + 1];
      const float e1 = errorQ[k + 1];
      for(std::size_t r = 0; r < n; ++r) {
        float sum = 0.F;
        for(std::size_t c = 0; c < n; ++c) sum += b[r + n * c] * x[c];
        next[r] = sum + (g[r] * e0 + g[r + n] * e1);
      }
      float u0 = 0.F;
      float u1 = 0.F;
      for(std::size_t c = 0; c < n; ++c) {
        x[c] = next[c];
        u0 += model.omega[2 * c] * x[c];
        u1 += model.omega[2 * c + 1] * x[c];
      }
      incrementI[k - start] = u0;
      incrementQ[k - start] = u1;
    }
  }

  template<class Run>
  double medianMilliseconds(Run run, int repetitions) {
    std::vector<double> times;
    for(int i = 0; i < repetitions; ++i) {
      const auto begin = Clock::now();
      run();
      times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
  }

} // namespace

int main(int argc, char** argv) {
  const std::size_t samples = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16384;
  const std::uint32_t order = argc > 2 ? std::uint32_t(std::strtoul(argv[2], nullptr, 10)) : 6;
  if(samples < 2 || order > Kernels::maxModelOrder) {
    std::fprintf(stderr, "usage: bench_learningfeedforward [samples >= 2] [order <= %u]\n", Kernels::maxModelOrder);
    return 1;
  }
  // a stable model: contracting state transitions that differ from sample to sample
  std::mt19937 random(5);
  std::uniform_real_distribution<float> value(-1.F, 1.F);
  std::vector<float> omega(12), beta(36 * samples), gamma(12 * samples), errorI(samples), errorQ(samples);
  for(auto& v : omega) v = value(random);
  for(auto& v : beta) v = value(random) * 0.5F / float(std::max<std::uint32_t>(order, 1));
  for(auto& v : gamma) v = value(random);
  for(std::size_t k = 0; k < samples; ++k) {
    errorI[k] = 10.F * value(random);
    errorQ[k] = 10.F * value(random);
  }
  const Kernels::Model model{order, false, omega, beta, gamma, {}, {}};
  std::vector<float> armaI(samples), armaQ(samples), plainI(samples), plainQ(samples);
  const std::size_t start = 0;
  const std::size_t stop = samples - 1;

  const int repetitions = 41;
  const double withArmadillo = medianMilliseconds(
      [&] { Kernels::backwardRecursion(model, errorI, errorQ, start, stop, armaI, armaQ); }, repetitions);
  const double plain =
      medianMilliseconds([&] { plainRecursion(model, errorI, errorQ, start, stop, plainI, plainQ); }, repetitions);

  double largestDifference = 0.0;
  for(std::size_t k = 0; k < stop - start; ++k) {
    largestDifference =
        std::max({largestDifference, double(std::abs(armaI[k] - plainI[k])), double(std::abs(armaQ[k] - plainQ[k]))});
  }
  std::printf("learning cycle, %zu samples, model order %u (median of %d):\n", samples, order, repetitions);
  std::printf("  recursion through Armadillo: %8.3f ms\n", withArmadillo);
  std::printf("  plain loop, same products:   %8.3f ms\n", plain);
  std::printf("  largest difference of the corrections: %g\n", largestDifference);
  return 0;
}
