// The reading end of a simulated signal: yields the value of its connected SignalSource at a
// simulated time, or its default value while it is not connected.
//
// It tells its source how much history it needs (setMaxHistoryLength, before or after
// connecting), so that reads that far back from the source's newest value still find one.
// Not thread-safe: guarded by the mutex of the simulated board that reads it.
#pragma once

#include "Corvane/VirtualLab/SignalSource.h"

#include <memory>

namespace Corvane::VirtualLab {

  class SignalSink {
   public:
    explicit SignalSink(double defaultValue = 0.0) : _defaultValue(defaultValue) {}

    /// Reads from `source` from now on (an empty pointer disconnects).
    void connect(std::shared_ptr<SignalSource> source);
    void disconnect() { _source.reset(); }
    bool isConnected() const { return static_cast<bool>(_source); }
    const std::shared_ptr<SignalSource>& getSource() const { return _source; }

    void setMaxHistoryLength(Picoseconds length);
    Picoseconds getMaxHistoryLength() const { return _maxHistoryLength; }

    /// The source's value at `time` (SignalSourceException when it has none), or the default
    /// value while unconnected.
    double getValue(Picoseconds time) { return _source ? _source->getValue(time) : _defaultValue; }

    double getDefaultValue() const { return _defaultValue; }

   private:
    double _defaultValue;
    Picoseconds _maxHistoryLength{0};
    std::shared_ptr<SignalSource> _source;
  };

} // namespace Corvane::VirtualLab
