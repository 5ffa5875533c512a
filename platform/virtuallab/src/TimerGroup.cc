#include "Corvane/VirtualLab/TimerGroup.h"

#include <Corvane/Exception.h>

#include <algorithm>
#include <utility>

namespace Corvane::VirtualLab {

  void TimerGroup::addTimer(const std::string& name, Action action) {
    auto taken = std::any_of(_timers.begin(), _timers.end(), [&](const Timer& t) { return t.name == name; });
    if(taken) throw Corvane::logic_error("TimerGroup: timer \"" + name + "\" added twice");
    _timers.push_back({name, std::move(action)});
  }

  TimerGroup::Timer& TimerGroup::timer(const std::string& name) {
    return const_cast<Timer&>(std::as_const(*this).timer(name));
  }

  const TimerGroup::Timer& TimerGroup::timer(const std::string& name) const {
    auto found = std::find_if(_timers.begin(), _timers.end(), [&](const Timer& t) { return t.name == name; });
    if(found == _timers.end()) throw Corvane::logic_error("TimerGroup: no timer \"" + name + "\"");
    return *found;
  }

  void TimerGroup::setTimer(const std::string& name, Picoseconds delay) {
    auto& t = timer(name);
    t.armed = true;
    t.expiry = _now + delay;
  }

  void TimerGroup::disarm(const std::string& name) { timer(name).armed = false; }

  bool TimerGroup::isArmed(const std::string& name) const { return timer(name).armed; }

  Picoseconds TimerGroup::getRemaining(const std::string& name) const {
    const auto& t = timer(name);
    if(!t.armed) throw Corvane::logic_error("TimerGroup: timer \"" + name + "\" is not armed");
    return t.expiry - _now;
  }

  Picoseconds TimerGroup::amountToTimer(const std::string& name) const {
    const auto& t = timer(name);
    if(!t.armed || t.expiry < _now) return -1;
    return t.expiry - _now;
  }

  bool TimerGroup::step(Picoseconds& amountLeft) {
    auto stepLength = amountLeft;
    for(const auto& t : _timers) {
      if(t.armed) stepLength = std::min(stepLength, std::max<Picoseconds>(t.expiry - _now, 0));
    }
    _now += stepLength;
    amountLeft -= stepLength;
    // by index: an action may arm or add timers while this runs
    for(std::size_t i = 0; i < _timers.size(); ++i) {
      if(!_timers[i].armed || _timers[i].expiry > _now) continue;
      _timers[i].armed = false;
      if(_timers[i].action) _timers[i].action();
    }
    return amountLeft > 0;
  }

  void TimerGroup::advance(Picoseconds amount) {
    if(amount < 0) throw Corvane::logic_error("TimerGroup: cannot advance by a negative amount " + std::to_string(amount));
    while(step(amount)) {
    }
  }

  void TimerGroup::advanceToTimer(const std::string& name) {
    auto amount = amountToTimer(name);
    if(amount >= 0) advance(amount);
  }

} // namespace Corvane::VirtualLab
