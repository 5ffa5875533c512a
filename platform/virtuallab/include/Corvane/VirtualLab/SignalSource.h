// A simulated signal (one real component, e.g. the I of a drive output) as a function of
// simulated time, read by SignalSinks.
//
// The source keeps a history of recorded values in a StateVariableSet<double>. A value
// answers requests from its time up to (not including) its time plus the validity period (a
// validity of 0: its own time only). For a time no recorded value answers, the callback is
// called once and its result recorded at that time (so a second read of the same time calls
// nothing); without a callback the value recorded at or before the time holds. A value before
// every recorded one, or none at all, is a SignalSourceException; so is any Corvane::logic_error
// of the callback (e.g. a state set asked too far into the past), with its text.
//
// Its owner may also feed values (feedValue: the newest truth from that time on, later records
// are dropped). Sinks tell the source how much history they need; it keeps the largest such
// length and calls the history-length callback whenever that length changes.
//
// Not thread-safe: guarded by the mutex of the simulated board that reads it.
#pragma once

#include "Corvane/VirtualLab/SimulatedTime.h"
#include "Corvane/VirtualLab/StateVariableSet.h"

#include <functional>

namespace Corvane::VirtualLab {

  class SignalSource {
   public:
    using Callback = std::function<double(Picoseconds time)>;
    using HistoryLengthCallback = std::function<void(Picoseconds length)>;

    SignalSource() = default;
    virtual ~SignalSource() = default;
    SignalSource(const SignalSource&) = delete;
    SignalSource& operator=(const SignalSource&) = delete;

    void setCallback(Callback callback) { _callback = std::move(callback); }
    void setOnHistoryLengthChanged(HistoryLengthCallback callback) { _onHistoryLengthChanged = std::move(callback); }

    /// How long a recorded value answers requests (see above). Corvane::logic_error when negative.
    void setValidityPeriod(Picoseconds period) { _history.setValidityPeriod(period); }
    Picoseconds getValidityPeriod() const { return _history.getValidityPeriod(); }

    /// The value at `time` (see above).
    virtual double getValue(Picoseconds time);

    /// Records `value` at `time` as the newest truth (later records are dropped).
    void feedValue(Picoseconds time, double value) { _history.update(time, value); }

    /// Keeps at least `length` ps of history before the newest record; a longer requirement
    /// than before calls the history-length callback.
    void requireHistoryLength(Picoseconds length);
    Picoseconds getMaxHistoryLength() const { return _history.getMaxHistoryLength(); }

    /// The recorded values (their latest time and value, updates).
    StateVariableSet<double>& getStateVariableSet() { return _history; }
    const StateVariableSet<double>& getStateVariableSet() const { return _history; }

   private:
    double fromCallback(Picoseconds time);

    StateVariableSet<double> _history;
    Callback _callback;
    HistoryLengthCallback _onHistoryLengthChanged;
  };

} // namespace Corvane::VirtualLab
