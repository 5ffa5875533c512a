// Drives the station's macro-pulse trigger over the HTTP API at a fixed rate, in a thread of its
// own: each period one PUT of the next number to "/Server/triggerNumber" on a kept-alive
// connection. A period missed because a write took too long is not made up (no bursts).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace soak {

  struct TriggerCounts {
    std::uint64_t sent{0};
    std::uint64_t failed{0};      ///< refused or unanswered writes
    std::uint64_t missed{0};      ///< periods skipped because the driver fell behind
    double medianWriteMs{0};
    double p99WriteMs{0};
    double maxWriteMs{0};
  };

  class TriggerDriver {
   public:
    TriggerDriver(std::uint16_t port, double rate);
    ~TriggerDriver();
    TriggerDriver(const TriggerDriver&) = delete;
    TriggerDriver& operator=(const TriggerDriver&) = delete;

    void start();
    void stop();
    TriggerCounts counts() const;

   private:
    void run();

    std::uint16_t _port;
    double _rate;
    std::atomic<bool> _running{false};
    std::thread _thread;
    std::atomic<std::uint64_t> _sent{0}, _failed{0}, _missed{0};
    mutable std::mutex _timesMutex;
    std::vector<double> _writeMs;
  };

} // namespace soak
