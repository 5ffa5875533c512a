#include "Corvane/VersionNumber.h"

#include <atomic>

namespace Corvane {

  VersionNumber::VersionNumber() : _time(std::chrono::system_clock::now()) {
    static std::atomic<std::uint64_t> next{1};
    _value = next.fetch_add(1, std::memory_order_relaxed);
  }

} // namespace Corvane
