#include "Corvane/VirtualLab/SignalSource.h"

#include "Corvane/VirtualLab/SignalSourceException.h"

#include <string>

namespace Corvane::VirtualLab {

  double SignalSource::getValue(Picoseconds time) {
    const auto* record = _history.findAtOrBefore(time);
    if(record) {
      auto covered = std::max<Picoseconds>(_history.getValidityPeriod(), 1);
      if(time - record->time < covered || !_callback) return record->state;
    }
    if(_callback) return fromCallback(time);
    if(_history.empty()) {
      throw SignalSourceException("signal source has no value at " + std::to_string(time) + " ps: nothing recorded");
    }
    throw SignalSourceException("Value request is too far into the past: " + std::to_string(time) +
        " ps (oldest recorded value at " + std::to_string(_history.getOldestTime()) + " ps)");
  }

  double SignalSource::fromCallback(Picoseconds time) {
    double value = 0.0;
    try {
      value = _callback(time);
    }
    catch(const SignalSourceException&) {
      throw;
    }
    catch(const Corvane::logic_error& e) {
      throw SignalSourceException(e.what());
    }
    _history.insert(time, value);
    return value;
  }

  void SignalSource::requireHistoryLength(Picoseconds length) {
    if(length <= _history.getMaxHistoryLength()) return;
    _history.setMaxHistoryLength(length);
    if(_onHistoryLengthChanged) _onHistoryLengthChanged(length);
  }

} // namespace Corvane::VirtualLab
