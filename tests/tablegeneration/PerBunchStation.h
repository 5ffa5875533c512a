// The table generation with per-bunch set-points configured: eight bunches from
// sample 20 on, at most four beam regions, a flat-top from sample 5 to 34 at
// 1 MHz, so that every bunch lies inside it and the filling ends before T_ZERO.
// Tables are written as one batch; a bunch with a NaN amplitude is a
// transition bunch.
#pragma once

#include "TableGenerationStation.h"

#include <Corvane/WakeUpBatch.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <string>
#include <vector>

namespace tablegenerationtest {

  namespace perbunch {
    inline const std::string base = "/Controller/SetPoint/PerBunch/";
    inline const std::string enable = base + "enable";
    inline const std::string enableActual = base + "enableActual";
    inline const std::string amplitude = base + "amplitude";
    inline const std::string phase = base + "phase";
    inline const std::string flags = base + "bunchIsTransition";
    inline const std::string amplitudeActual = base + "amplitudeActual";
    inline const std::string phaseActual = base + "phaseActual";
    inline const std::string flagsActual = base + "bunchIsTransitionActual";
    inline const std::string status = base + "tablesStatus";
    inline const std::string message = base + "tablesStatus_message";
    inline const std::string radius = base + "ShapeLimit/radius";
    inline const std::string delta = base + "ShapeLimit/deltaScalarSP";
    inline const std::string bunchOk = base + "bunchOk";
    inline const std::string transitionOk = base + "transitionOk";
    inline const std::string transitionMinTime = base + "transitionMinTime";
    inline const std::string nBeamRegions = base + "nBeamRegions";
    inline const std::string nTransitionRegions = base + "nTransitionRegions";
    inline const std::string startIndexBeam = base + "startIndexBeam";
    inline const std::string startIndexTransition = base + "startIndexTransition";
    inline const std::string spAmplitude = "/Controller/SetPoint/amplitude";
    inline const std::string spPhase = "/Controller/SetPoint/phase";
    inline const std::string spPower = "/Controller/SetPoint/power";
    inline const std::string spLimit = "/Controller/SetPoint/amplitudeLimitOperational";
  } // namespace perbunch

  /// The three per-bunch tables.
  struct BunchTables {
    std::vector<double> amplitude, phase;
    std::vector<Corvane::Boolean> flags;
  };

  /// Tables whose transition bunches are those with a NaN amplitude.
  inline BunchTables bunches(const std::vector<double>& amplitude, const std::vector<double>& phase) {
    BunchTables t{amplitude, phase, {}};
    for(double a : amplitude) t.flags.emplace_back(std::isnan(a));
    return t;
  }

  /// Minimum time of a set-point change under a slew radius: |z_to - z_from| /
  /// radius with z = amplitude * exp(i * phase in degrees).
  inline double neededTime(double fromAmplitude, double fromPhase, double toAmplitude, double toPhase, double radius) {
    const double rad = std::numbers::pi / 180.0;
    return std::abs(std::polar(toAmplitude, toPhase * rad) - std::polar(fromAmplitude, fromPhase * rad)) / radius;
  }

  /// Tables compare element by element, NaN equal to NaN.
  inline bool sameTable(const std::vector<double>& a, const std::vector<double>& b) {
    if(a.size() != b.size()) return false;
    for(std::size_t i = 0; i < a.size(); ++i) {
      if(!(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i])))) return false;
    }
    return true;
  }

  inline Settings perBunchSettings(std::uint32_t nMaxBeamRegions = 4) {
    Settings s;
    s.perBunch = true;
    s.nMaxBunches = 8;
    s.nMaxBeamRegions = nMaxBeamRegions;
    s.tZero = 20;
    return s;
  }

  struct PerBunchStation : Station {
    explicit PerBunchStation(std::uint32_t nMaxBeamRegions = 4) : Station(perBunchSettings(nMaxBeamRegions)) {
      test.setScalarDefault<double>(path::delay, 1.0);
      test.setScalarDefault<double>(path::filling, 4.0);
      test.setScalarDefault<double>(path::flattop, 30.0);
      test.setScalarDefault<double>(perbunch::radius, 1.0);
      test.setScalarDefault<double>(perbunch::delta, 0.1);
      test.setScalarDefault<double>(perbunch::spAmplitude, 0.5);
      test.setScalarDefault<double>(perbunch::spLimit, 1.2);
      test.setScalarDefault<double>("/Controller/SetPoint/powerScaling", 2.0);
    }

    void write(const BunchTables& t) {
      {
        Corvane::WakeUpBatch batch;
        test.writeArray<double>(perbunch::amplitude, t.amplitude);
        test.writeArray<double>(perbunch::phase, t.phase);
        test.writeArray<Corvane::Boolean>(perbunch::flags, t.flags);
      }
      test.stepApplication();
    }
    void setEnable(bool on) {
      test.writeScalar<Corvane::Boolean>(perbunch::enable, on);
      test.stepApplication();
    }
    std::int32_t status() { return test.readScalar<std::int32_t>(perbunch::status); }
    std::string message() { return test.readScalar<std::string>(perbunch::message); }
    bool enableActual() { return test.readScalar<Corvane::Boolean>(perbunch::enableActual); }
    std::vector<double> amplitudeActual() { return test.readArray<double>(perbunch::amplitudeActual); }
  };

} // namespace tablegenerationtest
