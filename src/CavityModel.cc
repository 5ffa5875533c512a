#include "CavityModel.h"

#include <Corvane/Logger.h>

#include <numbers>
#include <optional>
#include <utility>

using Corvane::VirtualLab::Picoseconds;
using Corvane::VirtualLab::SignalSink;
using Corvane::VirtualLab::SignalSource;

namespace {
  constexpr double defaultQL = 3e6;
  constexpr double defaultImpedance = 100.0;
  constexpr double resonanceFrequency = 1.3e9;

  /// The source's recorded value at or before t and its time; the newest record is the usual answer.
  std::optional<std::pair<Picoseconds, double>> recordAtOrBefore(const SignalSource& source, Picoseconds t) {
    const auto& history = source.getStateVariableSet();
    if(history.empty()) return std::nullopt;
    if(t >= history.getLatestTime()) return std::pair{history.getLatestTime(), history.getLatestState()};
    const auto* record = history.findAtOrBefore(t);
    if(!record) return std::nullopt;
    return std::pair{record->time, record->state};
  }
} // namespace

CavityModel::CavityModel()
: driveSinkI(std::make_shared<SignalSink>(0.0)), driveSinkQ(std::make_shared<SignalSink>(0.0)),
  cavitySourceI(std::make_shared<SignalSource>()), cavitySourceQ(std::make_shared<SignalSource>()),
  forwardSourceI(std::make_shared<SignalSource>()), forwardSourceQ(std::make_shared<SignalSource>()),
  reflectedSourceI(std::make_shared<SignalSource>()), reflectedSourceQ(std::make_shared<SignalSource>()) {
  struct Output {
    SignalSource& source;
    IorQ component;
    SignalType type;
  };
  for(const Output& output : {Output{*cavitySourceI, I, cavity}, Output{*cavitySourceQ, Q, cavity},
          Output{*forwardSourceI, I, forward}, Output{*forwardSourceQ, Q, forward},
          Output{*reflectedSourceI, I, reflected}, Output{*reflectedSourceQ, Q, reflected}}) {
    output.source.setCallback(
        [this, component = output.component, type = output.type](Picoseconds t) { return compute(t, component, type); });
    output.source.setOnHistoryLengthChanged([this](Picoseconds length) { onHistoryLengthChanged(length); });
  }
  _f0 = resonanceFrequency;
  setQL(defaultQL);
  setDetuning(0.0);
  setImpedance(defaultImpedance);
  Corvane::Logger::instance().stream(Corvane::Logger::Severity::debug, "CavityModel") << "QL = " << _QL << "\n";
  Corvane::Logger::instance().stream(Corvane::Logger::Severity::debug, "CavityModel") << "fH = " << _fH << "\n";
}

void CavityModel::setQL(double ql) {
  _QL = ql;
  _fH = _f0 / (_QL + _QL);
  _omegaH = (_fH + _fH) * std::numbers::pi;
}

void CavityModel::setDetuning(double detuning) {
  _detuning = detuning;
  _omegaDetuning = (_detuning + _detuning) * std::numbers::pi;
}

void CavityModel::setImpedance(double impedance) { _impedance = impedance; }

void CavityModel::onHistoryLengthChanged(Picoseconds length) const {
  driveSinkI->setMaxHistoryLength(length);
  driveSinkQ->setMaxHistoryLength(length);
}

double CavityModel::compute(Picoseconds t, IorQ component, SignalType type) {
  if(t <= startTime) return 0.0;

  // the step starts from the latest recorded field at or before t (0 when there is none)
  const auto startI = recordAtOrBefore(*cavitySourceI, t);
  const auto startQ = recordAtOrBefore(*cavitySourceQ, t);
  const Picoseconds from = startI ? startI->first : t;
  const CavityStep::Field previous{startI ? startI->second : 0.0, startQ ? startQ->second : 0.0};
  const double seconds = static_cast<double>(t - from) / 1e12;

  const CavityStep::Field forwardSignal{_impedance * driveSinkI->getValue(t), _impedance * driveSinkQ->getValue(t)};
  // steps come at the sample rate: the step's factor is computed again only when its inputs change
  if(seconds != _stepFactor.seconds || _omegaH != _stepFactor.omegaH || _omegaDetuning != _stepFactor.omegaDetuning) {
    _stepFactor = {seconds, _omegaH, _omegaDetuning, CavityStep::factor(_omegaH, _omegaDetuning, seconds)};
  }
  const CavityStep::Field field =
      CavityStep::advance(previous, forwardSignal, _omegaH, _omegaDetuning, seconds, _stepFactor.factor);
  const CavityStep::Field reflectedSignal{forwardSignal.i - field.i, forwardSignal.q - field.q};

  cavitySourceI->feedValue(t, field.i);
  cavitySourceQ->feedValue(t, field.q);
  forwardSourceI->feedValue(t, forwardSignal.i);
  forwardSourceQ->feedValue(t, forwardSignal.q);
  reflectedSourceI->feedValue(t, reflectedSignal.i);
  reflectedSourceQ->feedValue(t, reflectedSignal.q);

  const bool isI = component == I;
  switch(type) {
    case forward:
      return isI ? forwardSignal.i : forwardSignal.q;
    case reflected:
      return isI ? reflectedSignal.i : reflectedSignal.q;
    case cavity:
      return isI ? field.i : field.q;
  }
  return 0.0;
}
