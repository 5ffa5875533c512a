// The simulated cavity of the simulated controller board: the board's drive (I and Q) comes in
// through two signal sinks, the forward, reflected and cavity field signals go out through six
// signal sources. The field is computed on demand, one step per requested time, by the exact
// step of the baseband cavity equation (CavityStep) with the drive held over the step.
//
// The six sources are the model's only state: each step records all six at its time, so they
// always agree. A request before the newest step restarts from the latest step at or before it
// (the steps after it are dropped); with no step at all the field starts at 0.
//
// Threads: compute() runs inside the board's event processing, under the board's mutex; the
// setters run in the virtual-lab module's thread between two advances of the board's time.
#pragma once

#include "CavityStep.h"

#include <Corvane/VirtualLab/SignalSink.h>
#include <Corvane/VirtualLab/SignalSource.h>

#include <memory>

class CavityModel {
 public:
  enum IorQ { I = 0, Q = 1 };
  enum SignalType { forward = 0, reflected = 1, cavity = 2 };

  /// Requests up to this time (0.201 s) give 0 and record nothing: the board settles first.
  static constexpr Corvane::VirtualLab::Picoseconds startTime = 201'000'000'000;

  CavityModel();
  CavityModel(const CavityModel&) = delete;
  CavityModel& operator=(const CavityModel&) = delete;

  /// Loaded Q: half bandwidth f0 / (2 QL). Unchecked here; the virtual-lab module refuses
  /// values that are not finite and positive.
  void setQL(double ql);
  /// Detuning in Hz.
  void setDetuning(double detuning);
  /// Scale from the drive to the forward signal.
  void setImpedance(double impedance);

  double getQL() const { return _QL; }
  double getDetuning() const { return _detuning; }
  double getImpedance() const { return _impedance; }
  double getHalfBandwidth() const { return _fH; }
  double getOmegaH() const { return _omegaH; }
  double getOmegaDetuning() const { return _omegaDetuning; }

  /// Lets the drive sinks reach as far back as the history asked of the model's sources.
  void onHistoryLengthChanged(Corvane::VirtualLab::Picoseconds length) const;

  /// Advances the field to time t and returns the requested signal there (the sources' callback).
  double compute(Corvane::VirtualLab::Picoseconds t, IorQ component, SignalType type);

  std::shared_ptr<Corvane::VirtualLab::SignalSink> driveSinkI, driveSinkQ;
  std::shared_ptr<Corvane::VirtualLab::SignalSource> cavitySourceI, cavitySourceQ;
  std::shared_ptr<Corvane::VirtualLab::SignalSource> forwardSourceI, forwardSourceQ;
  std::shared_ptr<Corvane::VirtualLab::SignalSource> reflectedSourceI, reflectedSourceQ;

 private:
  double _f0{0.0};
  double _detuning{0.0};
  double _omegaDetuning{0.0};
  double _QL{0.0};
  double _fH{0.0};
  double _omegaH{0.0};
  double _impedance{0.0};

  /// The factor of the latest step and what it was computed from.
  struct StepFactor {
    double seconds{-1.0};
    double omegaH{0.0};
    double omegaDetuning{0.0};
    CavityStep::Factor factor;
  };
  StepFactor _stepFactor;
};
