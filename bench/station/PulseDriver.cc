#include "PulseDriver.h"

#include <Corvane/ControlSystem.h>
#include <Corvane/detail/Scheduler.h>

#include <sys/resource.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <thread>

namespace stationbench {

  namespace {

    using Clock = std::chrono::steady_clock;

    std::int64_t nowNs() {
      return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
    }

    void atomicMax(std::atomic<std::int64_t>& target, std::int64_t value) {
      auto current = target.load(std::memory_order_relaxed);
      while(current < value && !target.compare_exchange_weak(current, value, std::memory_order_relaxed)) {
      }
    }

    Percentiles percentiles(std::vector<double> values) {
      Percentiles p;
      if(values.empty()) return p;
      std::sort(values.begin(), values.end());
      auto at = [&](double q) { return values[std::min(values.size() - 1, std::size_t(q * double(values.size())))]; };
      p.median = at(0.5);
      p.p99 = at(0.99);
      p.maximum = values.back();
      return p;
    }

    const std::string triggerPath = "/Server/triggerNumber";
    const std::string lossPath = "/Server/DataLossCounter/triggersWithDataLoss";

  } // namespace

  double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + 1e-6 * double(t.tv_usec); };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
  }

  std::uint64_t processMinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return std::uint64_t(usage.ru_minflt);
  }

  struct PulseDriver::Watch {
    Corvane::ControlSystemVariable* variable{nullptr};
    bool isVectorSum{false};
    std::atomic<bool> counted{true};
    std::atomic<std::uint64_t> arrivals{0};
    std::function<std::uint64_t()> latestVersion;
  };

  PulseDriver::PulseDriver(Corvane::Application& app, std::vector<std::string> channelOutputs, std::size_t maxPulses)
  : _app(app), _pulses(std::make_unique<Pulse[]>(maxPulses)),
    _versions(std::make_unique<std::atomic<std::uint64_t>[]>(maxPulses)), _maxPulses(maxPulses) {
    auto& cs = app.getControlSystem();
    auto add = [&](const std::string& path, bool isVectorSum) {
      auto watch = std::make_unique<Watch>();
      watch->variable = &cs.variable(path);
      watch->isVectorSum = isVectorSum;
      auto* variable = watch->variable;
      watch->latestVersion = [variable] {
        auto value = variable->latestValue();
        return value ? value.visit([](const auto& held) { return held.version.value(); }) : std::uint64_t{0};
      };
      variable->setListener([this, w = watch.get()] { arrived(*w, w->latestVersion()); });
      _watches.push_back(std::move(watch));
    };
    for(auto& path : channelOutputs) add(path, false);
    _expectedChannelArrivals = std::uint32_t(channelOutputs.size());
    for(auto path : {"/ForwardVectorSum/I", "/ForwardVectorSum/Q"}) {
      // the output vector correction reads the sum: without the module it is an operator variable
      if(cs.has(path) && !cs.variable(path).isFedByControlSystem()) {
        add(path, true);
        ++_expectedVectorSumArrivals;
      }
    }
  }

  PulseDriver::~PulseDriver() {
    for(auto& watch : _watches) watch->variable->setListener({});
  }

  long PulseDriver::pulseOf(std::uint64_t version) const {
    // versions grow with the pulse index: binary search over the published ones
    std::size_t lo = 0, hi = _published.load(std::memory_order_acquire);
    while(lo < hi) {
      auto mid = (lo + hi) / 2;
      auto v = _versions[mid].load(std::memory_order_relaxed);
      if(v == version) return long(mid);
      if(v < version) lo = mid + 1;
      else hi = mid;
    }
    return -1;
  }

  void PulseDriver::arrived(const Watch& watch, std::uint64_t version) {
    auto index = pulseOf(version);
    if(index < 0) return;
    auto& pulse = _pulses[std::size_t(index)];
    const_cast<Watch&>(watch).arrivals.fetch_add(1, std::memory_order_relaxed);
    if(watch.isVectorSum) {
      atomicMax(pulse.vectorSumDone, nowNs());
      pulse.vectorSumArrivals.fetch_add(1, std::memory_order_release);
    }
    else if(watch.counted.load(std::memory_order_relaxed)) {
      atomicMax(pulse.channelsDone, nowNs());
      pulse.channelArrivals.fetch_add(1, std::memory_order_release);
    }
  }

  bool PulseDriver::isComplete(std::size_t pulse) const {
    return _pulses[pulse].channelArrivals.load(std::memory_order_acquire) >= _expectedChannelArrivals.load() &&
        _pulses[pulse].vectorSumArrivals.load(std::memory_order_acquire) >= _expectedVectorSumArrivals;
  }

  void PulseDriver::keepOnlyRegularOutputs() {
    std::uint32_t expected = 0;
    for(auto& watch : _watches) {
      if(watch->isVectorSum) continue;
      // one late or lost pulse does not make an output irregular
      bool regular = 2 * watch->arrivals.load() >= _sent;
      watch->counted = regular;
      if(regular) ++expected;
    }
    _expectedChannelArrivals = expected;
  }

  std::size_t PulseDriver::watchedChannelOutputs() const { return _expectedChannelArrivals.load(); }

  RunResult PulseDriver::run(double rate, std::size_t pulses, std::chrono::milliseconds drain) {
    if(_sent + pulses > _maxPulses) throw std::logic_error("PulseDriver: more pulses than reserved");
    auto& cs = _app.getControlSystem();
    auto& trigger = cs.variable(triggerPath);
    auto lossCount = [&]() -> std::uint64_t {
      if(!cs.has(lossPath)) return 0;
      auto values = cs.variable(lossPath).get<std::uint64_t>();
      return values.empty() ? 0 : values.front();
    };

    RunResult result;
    result.rate = rate;
    const auto lostBefore = _app.scheduler().lostTransfers.load();
    const auto lossBefore = lossCount();
    const auto copiedBefore = Corvane::detail::bytesCopied().load();
    const double cpuBefore = processCpuSeconds();
    const auto faultsBefore = processMinorFaults();
    const std::size_t first = _sent;
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1. / rate));

    const auto start = Clock::now();
    for(std::size_t k = 0; k < pulses; ++k) {
      std::this_thread::sleep_until(start + k * period);
      const std::size_t index = _sent;
      Corvane::VersionNumber version;
      _versions[index].store(version.value(), std::memory_order_relaxed);
      _pulses[index].triggered.store(nowNs(), std::memory_order_relaxed);
      _published.store(index + 1, std::memory_order_release);
      trigger.set(std::vector<std::int64_t>{++_trigger}, version);
      ++_sent;
    }
    const auto lastTrigger = Clock::now();
    result.achievedRate = pulses > 1 ? double(pulses - 1) / std::chrono::duration<double>(lastTrigger - start).count()
                                     : rate;
    const auto deadline = lastTrigger + drain;
    auto allComplete = [&] {
      for(std::size_t p = first; p < _sent; ++p)
        if(!isComplete(p)) return false;
      return true;
    };
    while(!allComplete() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    result.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();

    result.triggers = pulses;
    result.cpuSecondsPerPulse = (processCpuSeconds() - cpuBefore) / double(pulses);
    result.minorFaultsPerPulse = double(processMinorFaults() - faultsBefore) / double(pulses);
    result.lostTransfers = _app.scheduler().lostTransfers.load() - lostBefore;
    result.bytesCopiedPerPulse = (Corvane::detail::bytesCopied().load() - copiedBefore) / pulses;
    // the counter publishes on the next trigger: give it a moment
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    result.triggersWithLoss = lossCount() - lossBefore;

    std::vector<double> channel, vectorSum;
    for(std::size_t p = first; p < _sent; ++p) {
      if(!isComplete(p)) continue;
      ++result.complete;
      const auto t0 = _pulses[p].triggered.load();
      if(_expectedChannelArrivals > 0) channel.push_back(1e-6 * double(_pulses[p].channelsDone.load() - t0));
      if(_expectedVectorSumArrivals > 0) vectorSum.push_back(1e-6 * double(_pulses[p].vectorSumDone.load() - t0));
    }
    result.channelLatency = percentiles(channel);
    result.vectorSumLatency = percentiles(vectorSum);
    return result;
  }

} // namespace stationbench
