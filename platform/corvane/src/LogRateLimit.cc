#include "Corvane/LogRateLimit.h"

namespace Corvane {

  LogRateLimit::LogRateLimit(LogRateLimit&& other) noexcept
  : _interval(other._interval), _pending(other._pending), _logged(other._logged), _lastLine(other._lastLine) {}

  LogRateLimit& LogRateLimit::operator=(LogRateLimit&& other) noexcept {
    _interval = other._interval;
    _pending = other._pending;
    _logged = other._logged;
    _lastLine = other._lastLine;
    return *this;
  }

  void LogRateLimit::note(std::uint64_t count) {
    std::lock_guard lock(_mutex);
    _pending += count;
  }

  bool LogRateLimit::due(SteadyClock::time_point now, std::uint64_t& covered) {
    std::lock_guard lock(_mutex);
    return dueLocked(now, covered);
  }

  bool LogRateLimit::noteAndCheck(SteadyClock::time_point now, std::uint64_t& covered, std::uint64_t count) {
    std::lock_guard lock(_mutex);
    _pending += count;
    return dueLocked(now, covered);
  }

  bool LogRateLimit::dueLocked(SteadyClock::time_point now, std::uint64_t& covered) {
    if(_pending == 0) return false;
    if(_logged && now - _lastLine < _interval) return false;
    covered = _pending;
    _pending = 0;
    _logged = true;
    _lastLine = now;
    return true;
  }

} // namespace Corvane
