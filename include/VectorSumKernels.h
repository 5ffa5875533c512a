// Per-sample arithmetic of the software vector sum: adds one channel's complex signal, given as
// amplitude and phase in degrees, to running I and Q sums.
//
// The sine and cosine are computed in single precision without a library call, so that the loop
// runs vectorised (AVX-512 or AVX2, with FMA, when the processor has them): the phase is reduced
// exactly in degrees to [-45, 45] around the nearest multiple of 90 (so 0, 90, 180, ... give
// exact 0 and +-1), converted to radians once and fed to fixed polynomials. Measured against the exact value
// over every third float phase in [-720, 720] (7.6e8 phases), the error of sin and cos is at
// most 8.2e-8, below one unit in the last place of 1.0; sinf/cosf of 3.1415927f * phase / 180
// are off by up to 1.5e-6 over that range (8.7e-8 at 180 degrees from the rounded pi alone).
// The AVX2 and AVX-512 implementations give identical sums; the portable one may differ from them
// in the last bits, because optimised builds fuse the vector ones' multiply-adds (FMA).
// Speed, whole pulses of 80 channels x 16384 samples summed in blocks of 1024 on a Xeon with
// AVX-512 (bench_vectorsum): 0.5 ns per sample and channel with AVX-512, 0.65 ns with AVX2,
// 1.4 ns portable; a plain loop with sinf/cosf takes 4.4 ns even on cached data. A phase whose
// magnitude reaches 2^23 degrees makes the call reduce in double precision instead (exact, slow,
// never met with the ADC channels' phases).
// NaN or infinite phases give NaN.
//
// Pure functions on spans, free of the framework; SoftwareVectorSum wraps them.
#pragma once

#include <span>

namespace VectorSumKernels {

  enum class Implementation { portable, avx2, avx512 };

  /// "portable", "avx2" or "avx512", for reports.
  const char* nameOf(Implementation implementation);

  /// The fastest implementation this processor runs (AVX-512 needs AVX512F, DQ and VL besides AVX2 and FMA).
  Implementation bestImplementation();
  bool isAvailable(Implementation implementation);

  /// i[k] += amplitude[k] * cos(phase[k] degrees), q[k] += amplitude[k] * sin(phase[k] degrees),
  /// for every k. All spans have the same length (a Corvane::logic_error otherwise).
  void accumulate(std::span<const float> amplitude, std::span<const float> phase, std::span<float> i,
      std::span<float> q);

  /// As above with a chosen implementation (tests and benchmarks); a logic_error if it is not available.
  void accumulate(Implementation implementation, std::span<const float> amplitude, std::span<const float> phase,
      std::span<float> i, std::span<float> q);

} // namespace VectorSumKernels
