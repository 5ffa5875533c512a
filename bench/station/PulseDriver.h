// Drives macro-pulses into a running station application and times them: it writes the trigger
// "/Server/triggerNumber" through the control system at a fixed rate, each trigger with a
// version of its own, and watches the control system for the outputs that carry that version.
//
// A pulse is complete when every watched channel output and both vector-sum arrays of its
// version have arrived. Listeners run in the module threads that write, so they only note the
// arrival time and count (no locks, no allocation).
#pragma once

#include <Corvane/Application.h>
#include <Corvane/VersionNumber.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace stationbench {

  struct Percentiles {
    double median{0.}, p99{0.}, maximum{0.}; ///< milliseconds
  };

  struct RunResult {
    double rate{0.};           ///< triggers per second asked for
    double achievedRate{0.};   ///< triggers per second sent
    std::size_t triggers{0};   ///< sent
    std::size_t complete{0};   ///< pulses whose outputs all arrived
    std::uint64_t lostTransfers{0};    ///< push-queue overflows during the run (DataLossCounter's source)
    std::uint64_t triggersWithLoss{0}; ///< "/Server/DataLossCounter/triggersWithDataLoss" grew by this
    Percentiles channelLatency;  ///< trigger to the last channel output of the pulse
    Percentiles vectorSumLatency; ///< trigger to the vector sum of the pulse
    double cpuSecondsPerPulse{0.};
    double minorFaultsPerPulse{0.}; ///< page faults served without I/O (fresh memory touched), per pulse
    double wallSeconds{0.};
    std::uint64_t bytesCopiedPerPulse{0}; ///< array bytes the transport copied
    bool sustained() const { return complete == triggers && lostTransfers == 0 && triggersWithLoss == 0; }
  };

  /// User and system CPU time of the process so far.
  double processCpuSeconds();
  /// Minor page faults of the process so far.
  std::uint64_t processMinorFaults();

  class PulseDriver {
   public:
    /// Watches the given channel output paths and the vector sum ("/ForwardVectorSum/I", "/Q").
    /// At most `maxPulses` triggers can be sent over the driver's life.
    PulseDriver(Corvane::Application& app, std::vector<std::string> channelOutputs, std::size_t maxPulses);
    ~PulseDriver();
    PulseDriver(const PulseDriver&) = delete;
    PulseDriver& operator=(const PulseDriver&) = delete;

    /// Sends `pulses` triggers `1 / rate` apart, then waits up to `drain` for the outputs.
    RunResult run(double rate, std::size_t pulses, std::chrono::milliseconds drain = std::chrono::milliseconds(2000));

    /// Watched channel outputs that were updated for at least half the pulses so far; the others
    /// (outputs that a module publishes only under conditions) are no longer waited for.
    void keepOnlyRegularOutputs();

    std::size_t watchedChannelOutputs() const;
    std::size_t pulsesSent() const { return _sent; }

   private:
    struct Pulse {
      std::atomic<std::int64_t> triggered{0}, channelsDone{0}, vectorSumDone{0};
      std::atomic<std::uint32_t> channelArrivals{0}, vectorSumArrivals{0};
    };
    struct Watch;

    /// Index of the pulse that carries `version`, or -1.
    long pulseOf(std::uint64_t version) const;
    void arrived(const Watch& watch, std::uint64_t version);
    bool isComplete(std::size_t pulse) const;

    Corvane::Application& _app;
    std::vector<std::unique_ptr<Watch>> _watches;
    std::unique_ptr<Pulse[]> _pulses;
    std::unique_ptr<std::atomic<std::uint64_t>[]> _versions;
    std::size_t _maxPulses;
    std::atomic<std::size_t> _published{0};
    std::size_t _sent{0};
    std::atomic<std::uint32_t> _expectedChannelArrivals{0};
    std::uint32_t _expectedVectorSumArrivals{0};
    std::int64_t _trigger{0};
  };

} // namespace stationbench
