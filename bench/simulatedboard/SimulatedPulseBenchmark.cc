// One simulated macro-pulse of the simulated controller board with its cavity model: the board's
// time advanced by one trigger period, that is 16384 samples through the regulation loop (feed-
// forward and feedback on, the cavity field as vector sum), the cavity model and the DAQ buffers,
// plus the coarse steps between two pulses. Beside it a plain loop that does the same per-sample
// arithmetic on plain arrays (regulation loop, exact cavity step, detection of the eight inputs)
// without state sets, signal sources and registers. Prints the time per pulse and the simulated
// pulses per second on one core; the simulation must keep up with 10 pulses per second.
//
// Usage: bench_simulatedboard [pulses]
#include "SISLDummy.h"

#include <Corvane/Application.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

  constexpr std::size_t nSamples = 16384;

  void configure(SISLDummy& board) {
    std::vector<double> cosine(48, 0.0);
    for(std::size_t i = 0; i < 8; ++i) cosine[6 * i] = 1.0;
    board.setRegister<double>("FD.WORD_IQ_COS", cosine);
    board.setRegister<double>("OVC.WORD_ROT_RE", {1.0});
    board.setRegister<double>("CTRL.WORD_VS_ROT_RE", {1.0});
    board.setRegister<std::int32_t>("FD.WORD_VS_CH_ENA", {0x4});
    board.setRegister<std::int32_t>("CTRL.WORD_CNTRL_I_LIMIT", {100000});
    board.setRegister<std::int32_t>("CTRL.WORD_CNTRL_Q_LIMIT", {100000});
    board.setRegister<std::int32_t>("CTRL.BIT_FF_ENA", {1});
    board.setRegister<std::int32_t>("CTRL.BIT_FB_ENA", {1});
    board.setRegister<std::int32_t>("CTABLES.AREA_FF_I", std::vector<std::int32_t>(nSamples, 5));
    board.setRegister<std::int32_t>("CTABLES.AREA_SP_I", std::vector<std::int32_t>(nSamples, 10000));
    board.setRegister<double>("CTABLES.AREA_GP_I", std::vector<double>(nSamples, 1.0 / 64.0));
    board.setRegister<double>("CTABLES.AREA_GP_Q", std::vector<double>(nSamples, 1.0 / 64.0));
    board.setRegister<std::uint32_t>("CTABLES.BIT_CTL_TABLES_BUF", {0x331});
  }

  /// The same per-sample arithmetic on plain arrays; returns a checksum so nothing is optimised away.
  double plainPulse(std::vector<double>& daq) {
    const double omegaH = 2 * std::numbers::pi * 1.3e9 / 6e6, dt = 553846e-12, impedance = 100.0;
    const std::complex<double> a(omegaH, 0.0);
    const std::complex<double> g = (1.0 - std::exp(-a * dt)) / (a * dt);
    std::complex<double> field(0.0, 0.0), sum(0.0, 0.0);
    double checksum = 0.0;
    for(std::size_t n = 0; n < nSamples; ++n) {
      const double errorI = 10000.0 - sum.real(), errorQ = -sum.imag();
      const double proportionalI = std::clamp(errorI / 64.0, -100000.0, 100000.0);
      const double proportionalQ = std::clamp(errorQ / 64.0, -100000.0, 100000.0);
      const double vI = std::clamp(proportionalI + 5.0, -131072.0, 131072.0) * 5.0;
      const double vQ = std::clamp(proportionalQ, -131072.0, 131072.0) * 5.0;
      const std::complex<double> drive(vI, vQ), forward = impedance * drive;
      field += g * (2.0 * omegaH * forward - a * field) * dt;
      const std::complex<double> reflected = forward - field;
      sum = field;
      const std::complex<double> inputs[8] = {forward, reflected, field, 0.0, 0.0, 0.0, {1000.0, 2000.0}, drive};
      for(std::size_t i = 0; i < 8; ++i) {
        daq[2 * i * nSamples + n] = std::abs(inputs[i]);
        daq[(2 * i + 1) * nSamples + n] = std::arg(inputs[i]) / std::numbers::pi * 131072.0;
      }
      checksum += field.real();
    }
    return checksum;
  }

} // namespace

int main(int argc, char** argv) {
  const int pulses = argc > 1 ? std::atoi(argv[1]) : 50;
  Corvane::Application application("bench_simulatedboard");
  auto board = std::make_shared<SISLDummy>(SIMULATED_BOARD_MAP);
  board->open();
  board->virtualLabModule().connectModel();
  configure(*board);
  for(int k = 0; k < 4; ++k) board->advanceToTimer("trigger"); // the cavity starts after 0.2 s

  auto start = Clock::now();
  for(int k = 0; k < pulses; ++k) board->advanceToTimer("trigger");
  const double boardSeconds = std::chrono::duration<double>(Clock::now() - start).count() / pulses;
  const double field = board->getRegister<double>("APP.DAQ1_BUF0").at(4 * nSamples + nSamples - 1);

  std::vector<double> daq(16 * nSamples);
  double checksum = 0.0;
  start = Clock::now();
  for(int k = 0; k < pulses; ++k) checksum += plainPulse(daq);
  const double plainSeconds = std::chrono::duration<double>(Clock::now() - start).count() / pulses;

  std::printf("simulated board, one trigger period (16384 samples + coarse steps between pulses):\n");
  std::printf("  %.2f ms per pulse, %.1f simulated pulses per second on one core (cavity field at the end %.1f)\n",
      boardSeconds * 1e3, 1.0 / boardSeconds, field);
  std::printf("plain loop, the same per-sample arithmetic on arrays (16384 samples):\n");
  std::printf("  %.2f ms per pulse, %.1f pulses per second (checksum %.3g)\n", plainSeconds * 1e3, 1.0 / plainSeconds,
      checksum);
  std::printf("the simulation keeps up with 10 Hz: %s (%.0f %% of the trigger period used)\n",
      boardSeconds < 0.1 ? "yes" : "NO", boardSeconds / 0.1 * 100.0);
  return 0;
}
