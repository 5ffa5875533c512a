#include "TableGeneration/SetPointAmplitude.h"

#include "tools.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace TableGeneration {

  namespace {

    constexpr double pi = std::numbers::pi;

    /// [begin, end) cut to the table.
    struct Range {
      std::int64_t begin, end;
    };
    Range inside(std::size_t length, std::int64_t begin, std::int64_t end) {
      return {std::max<std::int64_t>(begin, 0), std::min<std::int64_t>(end, static_cast<std::int64_t>(length))};
    }

    /// `value`, or 0 after a report when it is not finite.
    double finiteOrZero(double value, const char* text, int line, const ConsistencyReport& report) {
      if(std::isfinite(value)) return value;
      report(text, line);
      return 0;
    }

    /// Element `index` of `values`, or nullopt-like NaN outside (which the caller's check reports).
    double element(std::span<const double> values, std::int64_t index) {
      if(index < 0 || static_cast<std::size_t>(index) >= values.size()) return std::nan("");
      return values[static_cast<std::size_t>(index)];
    }

  } // namespace

  double fieldDecayPerSample(double rfFrequency, double samplingFrequency, double qLoaded, double qLoadedFudge) {
    return pi * rfFrequency / (samplingFrequency * qLoaded * qLoadedFudge);
  }

  void chargingCurveFilling(
      std::span<double> table, std::int64_t fillingBegin, std::int64_t flattopBegin, double amplitude, double w) {
    if(flattopBegin <= fillingBegin) return;
    const double span = static_cast<double>(flattopBegin - fillingBegin);
    // 1 - exp(-x) as -expm1(-x): exact for small rates, where 1 - exp would round
    const double end = std::expm1(-span * w);
    const bool curved = end != 0 && std::isfinite(end);
    const auto r = inside(table.size(), fillingBegin, flattopBegin);
    for(auto i = r.begin; i < r.end; ++i) {
      const double x = static_cast<double>(i - fillingBegin);
      const double fraction = x == 0 ? 0 : (curved ? std::expm1(-x * w) / end : x / span);
      table[static_cast<std::size_t>(i)] = amplitude * fraction;
    }
  }

  bool simulatedFilling(std::span<double> table, std::span<const double> feedForward, std::int64_t fillingBegin,
      std::int64_t flattopBegin, std::int64_t offset, double amplitude, double w) {
    const auto r = inside(table.size(), fillingBegin + 1, flattopBegin);
    if(r.end <= r.begin || r.begin < 1) return true;
    for(auto i = r.begin; i < r.end; ++i) {
      const double drive = element(feedForward, i - 1 + offset);
      table[static_cast<std::size_t>(i)] =
          2 * w * (std::isfinite(drive) ? drive : 0) + (1 - w) * table[static_cast<std::size_t>(i - 1)];
    }
    const double last = table[static_cast<std::size_t>(r.end - 1)];
    double k = 0;
    if(amplitude > 0) {
      k = amplitude / last;
      if(!std::isfinite(k) || last == 0) return false;
    }
    for(auto i = r.begin; i < r.end; ++i) {
      auto& value = table[static_cast<std::size_t>(i)];
      value *= k;
      if(!std::isfinite(value)) return false;
    }
    return true;
  }

  void setPointFlattopAmplitude(
      std::span<double> table, std::int64_t flattopBegin, std::int64_t decayBegin, double amplitude, double slope) {
    if(decayBegin <= flattopBegin) return;
    const double n = static_cast<double>(decayBegin - flattopBegin);
    const auto r = inside(table.size(), flattopBegin, decayBegin);
    for(auto i = r.begin; i < r.end; ++i) {
      table[static_cast<std::size_t>(i)] = amplitude + slope * static_cast<double>(i - flattopBegin) / n;
    }
  }

  void perBunchSetPointFlattop(std::span<double> amplitude, std::span<double> phase, std::int64_t flattopBegin,
      std::int64_t decayBegin, double scalarAmplitude, double scalarPhase, const PerBunchFlattop& pb,
      const ConsistencyReport& report) {
    const std::size_t length = std::min(amplitude.size(), phase.size());
    const std::int64_t tZero = pb.tZeroSamples;
    // no per-bunch value at or after the decay begin
    const std::int64_t end = std::min<std::int64_t>(decayBegin, static_cast<std::int64_t>(length));
    auto set = [&](std::int64_t sample, double a, double p) {
      if(sample < 0 || sample >= end) return;
      amplitude[static_cast<std::size_t>(sample)] = a;
      phase[static_cast<std::size_t>(sample)] = p;
    };
    for(auto i = std::max<std::int64_t>(flattopBegin, 0); i < std::min(end, tZero); ++i) {
      set(i, scalarAmplitude, scalarPhase);
    }
    for(std::uint32_t r = 0;
        r < pb.nBeamRegions && r < pb.startIndexBeam.size() && r + 1 < pb.startIndexTransition.size(); ++r) {
      for(std::int64_t b = pb.startIndexBeam[r]; b < pb.startIndexTransition[r + 1] && tZero + b < end; ++b) {
        set(tZero + b, finiteOrZero(element(pb.amplitude, b), "std::isfinite(amp)", 227, report),
            finiteOrZero(element(pb.phase, b), "std::isfinite(pha)", 228, report));
      }
    }
    const std::uint32_t nTransitions = std::min<std::size_t>(pb.nTransitionRegions, pb.startIndexTransition.size());
    for(std::uint32_t t = 0; t < nTransitions; ++t) {
      const std::int64_t s = pb.startIndexTransition[t];
      const std::int64_t before = tZero + s - 1;
      const bool inTable = before >= 0 && before < static_cast<std::int64_t>(length);
      const double ampStart = finiteOrZero(inTable ? amplitude[static_cast<std::size_t>(before)] : scalarAmplitude,
          "std::isfinite(ampStart)", 244, report);
      const double phaStart = finiteOrZero(
          inTable ? phase[static_cast<std::size_t>(before)] : scalarPhase, "std::isfinite(phaStart)", 245, report);
      const bool last = t + 1 == nTransitions;
      // signed: a decay begin before tZero gives a negative end, hence no ramp
      const std::int64_t e =
          last ? decayBegin - tZero : std::int64_t{t < pb.startIndexBeam.size() ? pb.startIndexBeam[t] : 0};
      double ampStop = ampStart, phaStop = phaStart;
      if(t > 0 && !last) {
        ampStop = finiteOrZero(element(pb.amplitude, e), "std::isfinite(ampStop)", 263, report);
        phaStop = finiteOrZero(element(pb.phase, e), "std::isfinite(phaStop)", 264, report);
      }
      if(e <= s) continue;
      const double dA = ampStop - ampStart;
      const double dP = tools::canonicalPhaseDefinition(phaStop - phaStart);
      const double n = static_cast<double>(e - s + 1);
      for(std::int64_t k = 1; k < e - s + 1; ++k) {
        const double f = 0.5 + 0.5 * std::sin((static_cast<double>(k) / n - 0.5) * pi);
        set(before + k, ampStart + dA * f, tools::canonicalPhaseDefinition(phaStart + dP * f));
      }
    }
  }

} // namespace TableGeneration
