#include "TriggerDriver.h"

#include <Corvane/Cs/HttpClient.h>

#include <algorithm>
#include <chrono>
#include <string>

namespace soak {

  namespace {
    using Clock = std::chrono::steady_clock;

    double percentile(std::vector<double> values, double p) {
      if(values.empty()) return 0;
      std::sort(values.begin(), values.end());
      return values[std::min(values.size() - 1, static_cast<std::size_t>(p * double(values.size() - 1) + 0.5))];
    }
  } // namespace

  TriggerDriver::TriggerDriver(std::uint16_t port, double rate) : _port(port), _rate(rate) {}

  TriggerDriver::~TriggerDriver() { stop(); }

  void TriggerDriver::start() {
    if(_running.exchange(true)) return;
    _thread = std::thread([this] { run(); });
  }

  void TriggerDriver::stop() {
    _running = false;
    if(_thread.joinable()) _thread.join();
  }

  void TriggerDriver::run() {
    Corvane::Cs::HttpClient client("127.0.0.1", _port, std::chrono::seconds(2));
    auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1. / _rate));
    auto next = Clock::now();
    std::int64_t number = 0;
    while(_running) {
      auto before = Clock::now();
      try {
        auto response = client.request("PUT", "/api/variables/Server/triggerNumber", std::to_string(++number));
        if(response.status != 200) ++_failed;
      }
      catch(std::exception&) {
        ++_failed;
      }
      ++_sent;
      auto writeMs = std::chrono::duration<double, std::milli>(Clock::now() - before).count();
      {
        std::lock_guard lock(_timesMutex);
        _writeMs.push_back(writeMs);
      }
      next += period;
      auto now = Clock::now();
      while(next < now) {
        next += period;
        ++_missed;
      }
      std::this_thread::sleep_until(next);
    }
  }

  TriggerCounts TriggerDriver::counts() const {
    TriggerCounts c;
    c.sent = _sent;
    c.failed = _failed;
    c.missed = _missed;
    std::vector<double> times;
    {
      std::lock_guard lock(_timesMutex);
      times = _writeMs;
    }
    c.medianWriteMs = percentile(times, 0.5);
    c.p99WriteMs = percentile(times, 0.99);
    c.maxWriteMs = times.empty() ? 0 : *std::max_element(times.begin(), times.end());
    return c;
  }

} // namespace soak
