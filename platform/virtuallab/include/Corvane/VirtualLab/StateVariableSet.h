// The time-indexed history of a simulated system: states of type T at points of simulated time
// (picoseconds), computed on demand from the latest one.
//
// getState(t) for a time after the latest state computes the missing states through the compute
// function: while more than one coarse step lies between the latest state and t, a state one
// coarse step after the latest; then one state at exactly t. So requests that come one sample
// apart compute one state each, and a long gap costs one state per coarse step. A stored state
// answers, without computing, requests from its own time up to (not including) its time plus
// the validity period (a validity of 0 answers only its own time). A request for a time before
// the latest state is answered by the state at or before it (the past is not computed again);
// one before every kept state is a Corvane::logic_error "Value request is too far into the
// past: ...".
//
// History: after every new latest state, states older than the latest time minus the maximum
// history length are dropped, except the newest of them (it still describes the start of the
// window) and the latest state itself.
//
// The compute function receives the time of the new state; it may read the set (the latest
// state is the previous one, getLatestState()/getLatestTime()) and ask for stored states, but a
// request that would need a state to be computed while one is being computed (a re-entrant
// request) throws Corvane::logic_error instead of corrupting the history. An exception from
// the compute function leaves the states computed before it in place.
//
// Not thread-safe: a simulated board guards its sets with its mutex.
#pragma once

#include "Corvane/VirtualLab/RingDeque.h"
#include "Corvane/VirtualLab/SimulatedTime.h"

#include <Corvane/Exception.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>

namespace Corvane::VirtualLab {

  template<class T>
  class StateVariableSet {
   public:
    /// One stored state and its time.
    struct Record {
      Picoseconds time;
      T state;
    };

    using ComputeFunction = std::function<T(Picoseconds time)>;

    /// Replaces the whole history by one state.
    void setInitialState(Picoseconds time, T state) {
      _states.clear();
      _states.push_back({time, std::move(state)});
    }

    void setComputeFunction(ComputeFunction compute) { _compute = std::move(compute); }

    /// Largest step between computed states across a gap; 0 computes one state at the
    /// requested time, however far it lies. Corvane::logic_error when negative.
    void setCoarseStep(Picoseconds step) {
      if(step < 0) throw Corvane::logic_error("StateVariableSet: negative coarse step " + std::to_string(step));
      _coarseStep = step;
    }
    Picoseconds getCoarseStep() const { return _coarseStep; }

    /// How long after its time a state answers requests (see above). Corvane::logic_error when negative.
    void setValidityPeriod(Picoseconds period) {
      if(period < 0) throw Corvane::logic_error("StateVariableSet: negative validity period " + std::to_string(period));
      _validity = period;
    }
    Picoseconds getValidityPeriod() const { return _validity; }

    /// How far back from the latest state the history reaches. Corvane::logic_error when negative.
    void setMaxHistoryLength(Picoseconds length) {
      if(length < 0) throw Corvane::logic_error("StateVariableSet: negative history length " + std::to_string(length));
      _maxHistory = length;
      prune();
    }
    Picoseconds getMaxHistoryLength() const { return _maxHistory; }

    /// The state for `time` (see above), by value: later requests may drop stored states.
    T getState(Picoseconds time) {
      requireStates("getState");
      if(time >= _states.back().time) {
        if(time - _states.back().time < coveredSpan()) return _states.back().state;
        computeUpTo(time);
        return _states.back().state;
      }
      return atOrBefore(time)->state;
    }

    /// Records `state` at `time` as the newest truth: states after `time` are dropped, the one at
    /// `time` is created or overwritten, and the history is pruned.
    void update(Picoseconds time, T state) {
      while(!_states.empty() && _states.back().time > time) _states.pop_back();
      if(!_states.empty() && _states.back().time == time) _states.back().state = std::move(state);
      else _states.push_back({time, std::move(state)});
      prune();
    }

    /// Records `state` at `time`, keeping the states after it (a value found for a past time).
    void insert(Picoseconds time, T state) {
      // a simulation records forward in time: appending or replacing the newest needs no search
      if(_states.empty() || _states.back().time < time) {
        _states.push_back({time, std::move(state)});
        prune();
        return;
      }
      if(_states.back().time == time) {
        _states.back().state = std::move(state);
        return;
      }
      const std::size_t position = firstAtOrAfter(time);
      if(position < _states.size() && _states[position].time == time) _states[position].state = std::move(state);
      else _states.insert(position, {time, std::move(state)});
      prune();
    }

    /// The stored record at or before `time`, or nullptr when every kept state is later. Valid
    /// until the set changes.
    const Record* findAtOrBefore(Picoseconds time) const {
      // most requests are for the present: answered by the newest state without a search
      if(!_states.empty() && _states.back().time <= time) return &_states.back();
      const std::size_t after = firstAfter(time);
      return after == 0 ? nullptr : &_states[after - 1];
    }

    bool empty() const { return _states.empty(); }
    std::size_t size() const { return _states.size(); }
    bool isComputing() const { return _computing; }

    /// Newest and oldest stored state; Corvane::logic_error when the set is empty.
    Picoseconds getLatestTime() const { return requireStates("getLatestTime").back().time; }
    const T& getLatestState() const { return requireStates("getLatestState").back().state; }
    Picoseconds getOldestTime() const { return requireStates("getOldestTime").front().time; }

   private:
    /// Clears the computing flag on every way out of a computation.
    class ComputingGuard {
     public:
      explicit ComputingGuard(bool& flag) : _flag(flag) { _flag = true; }
      ~ComputingGuard() { _flag = false; }
      ComputingGuard(const ComputingGuard&) = delete;
      ComputingGuard& operator=(const ComputingGuard&) = delete;

     private:
      bool& _flag;
    };

    Picoseconds coveredSpan() const { return std::max<Picoseconds>(_validity, 1); }

    /// Index of the first state for which `before` is false (size() when there is none); the
    /// states for which it holds come first, as the times grow.
    template<class Before>
    std::size_t partitionPoint(Before before) const {
      std::size_t low = 0, high = _states.size();
      while(low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if(before(_states[middle].time)) low = middle + 1;
        else high = middle;
      }
      return low;
    }
    /// Index of the first state later than `time` (size() when there is none).
    std::size_t firstAfter(Picoseconds time) const {
      return partitionPoint([time](Picoseconds t) { return t <= time; });
    }
    /// Index of the first state at or after `time` (size() when there is none).
    std::size_t firstAtOrAfter(Picoseconds time) const {
      return partitionPoint([time](Picoseconds t) { return t < time; });
    }

    const RingDeque<Record>& requireStates(const char* operation) const {
      if(_states.empty()) {
        throw Corvane::logic_error(std::string("StateVariableSet::") + operation + ": the set holds no state (no initial state set)");
      }
      return _states;
    }

    const Record* atOrBefore(Picoseconds time) const {
      const Record* record = findAtOrBefore(time);
      if(!record) {
        throw Corvane::logic_error("Value request is too far into the past: " + std::to_string(time) +
            " ps (oldest kept state at " + std::to_string(_states.front().time) + " ps)");
      }
      return record;
    }

    void computeUpTo(Picoseconds time) {
      if(_computing) {
        throw Corvane::logic_error("StateVariableSet: re-entrant request for a state at " + std::to_string(time) +
            " ps while the state at " + std::to_string(_computingTime) + " ps is being computed");
      }
      if(!_compute) throw Corvane::logic_error("StateVariableSet: no compute function set");
      ComputingGuard guard(_computing);
      for(;;) {
        auto latest = _states.back().time;
        auto next = (_coarseStep > 0 && time - latest > _coarseStep) ? latest + _coarseStep : time;
        _computingTime = next;
        T state = _compute(next);
        _states.push_back({next, std::move(state)});
        prune();
        if(next == time) return;
      }
    }

    void prune() {
      if(_states.size() < 2) return;
      auto oldestKept = _states.back().time - _maxHistory;
      // drop a state when the next one still lies at or before the window's start
      while(_states.size() > 1 && _states[1].time <= oldestKept) _states.pop_front();
    }

    RingDeque<Record> _states;
    ComputeFunction _compute;
    Picoseconds _coarseStep{0};
    Picoseconds _validity{0};
    Picoseconds _maxHistory{0};
    bool _computing{false};
    Picoseconds _computingTime{0};
  };

} // namespace Corvane::VirtualLab
