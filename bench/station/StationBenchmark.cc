// Station benchmark: the whole station application on dummy devices, the simulated station
// scaled to 8 ADC boards x 10 channels and a pulse length of 16384 (by default), with
// macro-pulse triggers driven as fast as the server keeps up. The ADC channels, the controller's seven DAQ
// channels and the partial vector sum of each 10-channel board get raw traces, and every pulse waits for all
// their outputs.
//
// It prints the highest sustained trigger rate with no lost data (no push-queue overflow, the
// DataLossCounter unchanged, every output of every pulse arrived), the latency from trigger to
// the last channel output and to the vector sum (median, 99th percentile), CPU time per pulse,
// minor page faults per pulse (fresh memory touched on the hot path: none in a steady pulse
// train) and peak memory, and beside them the memory-bandwidth bound (the time to read the
// pulse's input arrays and write its output arrays once) and the arithmetic floor (the pulse's
// device reads, channel kernels and vector sum on one thread without the framework).
//
//   bench_station [--boards N] [--channels N] [--pulse-length N] [--statistics 0|1] [--cores N]
//                 [--seconds S] [--rate HZ] [--dir PATH]
// --cores restricts the process to the first N processors it may use (default 2); --seconds is
// the length of each rate step (default 2); --rate runs one step at that rate instead of the
// search for the highest one (for profiles and for comparing builds at equal load); --statistics 0
// switches the channels' averages and standard deviations off (on by default, as in the simulated
// station), to show the rest of the cost without their chains of float additions in index order.
#include "ArithmeticFloor.h"
#include "MemoryBound.h"
#include "OptionList.h"
#include "PulseDriver.h"
#include "ScaledStation.h"

#include "Tessarel.h"

#include <Corvane/BackendFactory.h>
#include <Corvane/ControlSystem.h>
#include <Corvane/DummyBackend.h>
#include <Corvane/Logger.h>

#include <sched.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <string>
#include <thread>

namespace {

  using namespace stationbench;

  struct Options {
    StationShape shape;
    int cores{2};
    double secondsPerStep{2.};
    double fixedRate{0.}; // 0: search the highest sustained rate
    std::string directory{"station-bench-run"};
  };

  Options parse(int argc, char** argv) {
    Options options;
    OptionList()
        .add("--boards", options.shape.boards)
        .add("--channels", options.shape.channelsPerBoard)
        .add("--pulse-length", options.shape.pulseLength)
        .add("--statistics", options.shape.statistics)
        .add("--cores", options.cores)
        .add("--seconds", options.secondsPerStep)
        .add("--rate", options.fixedRate)
        .add("--dir", options.directory)
        .parse(argc, argv);
    return options;
  }

  /// Keeps the process on the first `cores` processors it is allowed to use.
  void restrictToCores(int cores) {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    sched_getaffinity(0, sizeof(allowed), &allowed);
    cpu_set_t chosen;
    CPU_ZERO(&chosen);
    for(int cpu = 0, taken = 0; cpu < CPU_SETSIZE && taken < cores; ++cpu) {
      if(CPU_ISSET(cpu, &allowed)) {
        CPU_SET(cpu, &chosen);
        ++taken;
      }
    }
    if(sched_setaffinity(0, sizeof(chosen), &chosen) != 0) std::perror("sched_setaffinity");
  }

  /// "VmHWM" (peak) or "VmRSS" (current) of this process in MB.
  double residentMegabytes(const char* field) {
    std::ifstream status("/proc/self/status");
    for(std::string line; std::getline(status, line);) {
      if(line.rfind(field, 0) == 0) return std::stod(line.substr(std::strlen(field) + 1)) / 1024.;
    }
    return 0.;
  }

  /// The open dummy device of `alias`, or null (with a note) when no device module of the application opened it.
  std::shared_ptr<Corvane::DummyBackend> openDummy(const std::string& alias) {
    std::shared_ptr<Corvane::DummyBackend> board;
    try {
      board = std::dynamic_pointer_cast<Corvane::DummyBackend>(Corvane::BackendFactory::getInstance().findBackend(alias));
    }
    catch(Corvane::logic_error&) {
      // no device module of the application opened the board
    }
    if(!board) std::printf("!!! device %s is not an open dummy device: its DAQ arrays stay zero\n", alias.c_str());
    return board;
  }

  /// One raw DAQ trace: a pulse of amplitude counts, phases as a ramp, I and Q of a pulse turning once.
  std::vector<std::int32_t> rawTrace(const std::string& name, std::size_t elements, std::uint32_t board) {
    std::vector<std::int32_t> values(elements);
    for(std::size_t k = 0; k < values.size(); ++k) {
      const double t = double(k) / double(values.size());
      const double envelope = std::sin(std::numbers::pi * t);
      if(name.find("amplitude") != std::string::npos) {
        values[k] = std::int32_t(60000. * envelope + 100. * std::sin(0.37 * double(k)));
      }
      else if(name.find("phase") != std::string::npos) {
        values[k] = std::int32_t((k * 97 + board * 1013 + name.size() * 7919) % (1 << 18)) - (1 << 17);
      }
      else if(name.ends_with(".I")) {
        values[k] = std::int32_t(60000. * envelope * std::cos(2. * std::numbers::pi * t));
      }
      else if(name.ends_with(".Q")) {
        values[k] = std::int32_t(60000. * envelope * std::sin(2. * std::numbers::pi * t));
      }
    }
    return values;
  }

  /// Raw DAQ data of every ADC channel, every partial vector sum and every controller DAQ channel.
  void fillDaqRegisters(const ScaledStation& station) {
    const auto& shape = station.shape();
    for(std::uint32_t b = 0; b < shape.boards; ++b) {
      auto board = openDummy("Adc" + std::to_string(b));
      if(!board) continue;
      for(auto& reg : station.adcPulseRegisters("NormalDataMode")) {
        board->setRegister<std::int32_t>(reg.name, rawTrace(reg.name, reg.elements, b));
      }
    }
    if(auto controller = openDummy("Controller")) {
      for(auto& reg : station.controllerDaqRegisters()) {
        controller->setRegister<std::int32_t>(reg.name, rawTrace(reg.name, reg.elements, 0));
      }
    }
  }

  /// The per-pulse outputs of the controller's DAQ channels and of the boards' partial vector sums: the samples
  /// of each, and the amplitude trace of those that compute one.
  bool isControllerChannelOutput(const std::string& path) {
    for(const char* end : {"/DAQ/Samples/I", "/DAQ/amplitude", "/PartialVectorSum/Samples/I",
            "/PartialVectorSum/amplitude"}) {
      if(path.ends_with(end)) return true;
    }
    return false;
  }

  /// Writes an operator setting when the application has it and the control system feeds it.
  template<class T>
  void setIfPresent(Corvane::ControlSystem& cs, const std::string& path, T value) {
    if(cs.has(path) && cs.variable(path).isWritable()) cs.variable(path).set(std::vector<T>{value});
  }

  /// Bytes of every published variable, summed over the updates counted by `counts`.
  std::map<std::string, std::uint64_t> updateCounts(Corvane::ControlSystem& cs) {
    std::map<std::string, std::uint64_t> counts;
    for(auto& [path, variable] : cs.variables()) counts[path] = variable->updateCount();
    return counts;
  }

  std::uint64_t publishedBytes(Corvane::ControlSystem& cs, const std::map<std::string, std::uint64_t>& before) {
    std::uint64_t bytes = 0;
    for(auto& [path, variable] : cs.variables()) {
      if(!Corvane::isNumeric(variable->type())) continue;
      auto size = Corvane::callForType(variable->type(), [](auto sample) { return sizeof(sample); });
      bytes += (variable->updateCount() - before.at(path)) * variable->nElements() * size;
    }
    return bytes;
  }

  void printRun(const char* label, const RunResult& r) {
    std::printf("%-22s %8.1f %8.1f %6zu/%-6zu %6llu %5llu %8.2f %8.2f %8.2f %8.2f %9.2f %8.1f %9.1f\n", label, r.rate,
        r.achievedRate, r.complete, r.triggers, (unsigned long long)r.lostTransfers,
        (unsigned long long)r.triggersWithLoss, r.channelLatency.median, r.channelLatency.p99,
        r.vectorSumLatency.median, r.vectorSumLatency.p99, 1e3 * r.cpuSecondsPerPulse,
        double(r.bytesCopiedPerPulse) / 1e6, r.minorFaultsPerPulse);
  }

  void printHeader() {
    std::printf("%-22s %8s %8s %13s %6s %5s %8s %8s %8s %8s %9s %8s %9s\n", "run", "rate/Hz", "sent/Hz", "complete",
        "lost", "DLC", "ch med", "ch p99", "vs med", "vs p99", "cpu ms/p", "MB copy", "minflt/p");
  }

} // namespace

int main(int argc, char** argv) {
  try {
    auto options = parse(argc, argv);
    restrictToCores(options.cores);
    Corvane::Logger::instance().setMinimumSeverity(Corvane::Logger::Severity::warning);

    ScaledStation station(TESSAREL_SIM_DIR, options.shape);
    station.write(options.directory);
    if(chdir(options.directory.c_str()) != 0) throw std::runtime_error("cannot enter " + options.directory);
    const auto& shape = station.shape();
    std::printf("Station: %u ADC boards x %u channels, pulse length %u, on %d cores; dummy devices in %s\n",
        shape.boards, shape.channelsPerBoard, shape.pulseLength, options.cores, options.directory.c_str());

    Tessarel app("tessarel");
    // shuts the station down before it is destroyed, also when a step below throws
    struct ShutdownOnExit {
      Corvane::Application& app;
      ~ShutdownOnExit() { app.shutdown(); }
    } shutdownOnExit{app};
    app.run();
    const auto threads = std::size_t(std::distance(std::filesystem::directory_iterator("/proc/self/task"), {}));
    std::printf("Threads of the process: %zu\n", threads);
    auto& cs = app.getControlSystem();
    fillDaqRegisters(station);

    // every channel in the vector sum, the first of each board a reference, power computed
    std::vector<std::string> outputs;
    setIfPresent(cs, "/Configuration/extraPowerScaling", 1.0);
    // the controller channels' statistics over the middle half of the pulse
    setIfPresent(cs, "/Configuration/flattopBeginIndex", shape.pulseLength / 4);
    setIfPresent(cs, "/Configuration/flattopEndIndex", 3 * shape.pulseLength / 4);
    for(std::uint32_t b = 0; b < shape.boards; ++b) {
      for(std::uint32_t c = 0; c < shape.channelsPerBoard; ++c) {
        auto channel = "/AdcBoard" + std::to_string(b) + "/Channel" + std::to_string(c) + "/";
        setIfPresent(cs, channel + "isForwardSignal", 1);
        setIfPresent(cs, channel + "isReference", c == 0 ? 1 : 0);
        setIfPresent(cs, channel + "powerScaling", 1.0);
        for(auto name : {"amplitude", "phase", "power"}) {
          if(cs.has(channel + name) && !cs.variable(channel + name).isFedByControlSystem()) {
            outputs.push_back(channel + name);
          }
        }
      }
    }
    std::size_t controllerOutputs = 0;
    for(auto& [path, variable] : cs.variables()) {
      if(isControllerChannelOutput(path) && !variable->isFedByControlSystem()) {
        outputs.push_back(path);
        ++controllerOutputs;
      }
    }
    std::printf("Controller DAQ channel outputs watched (partial vector sums included): %zu\n", controllerOutputs);
    if(outputs.empty()) std::printf("!!! the application has no ADC channel outputs: only the trigger path is timed\n");

    // the application's own load without pulses (periodic tasks, polling), once the work the settings above
    // caused (table regenerations, their writes) is over
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double idleBefore = processCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double idlePercent = 100. * (processCpuSeconds() - idleBefore) / 3.;
    std::printf("CPU load without triggers: %.1f %% of one core\n", idlePercent);

    PulseDriver driver(app, outputs, 1000000);
    printHeader();
    // slow warm-up; outputs that do not follow the pulses (a power never computed) are not waited for
    auto warmUp = driver.run(2., 10);
    driver.keepOnlyRegularOutputs();
    printRun("warm-up", warmUp);
    std::printf("(waiting per pulse for %zu channel outputs and the vector sum)\n", driver.watchedChannelOutputs());
    auto facilityCounts = updateCounts(cs);
    auto facility = driver.run(10., std::size_t(10. * options.secondsPerStep * 2));
    const std::uint64_t facilityBytes = publishedBytes(cs, facilityCounts) / facility.triggers;
    printRun("10 Hz", facility);

    auto step = [&](double rate) {
      auto pulses = std::max<std::size_t>(50, std::size_t(rate * options.secondsPerStep));
      auto before = updateCounts(cs);
      auto result = driver.run(rate, pulses);
      printRun(("step " + std::to_string(int(rate)) + " Hz").c_str(), result);
      return std::pair{result, publishedBytes(cs, before) / pulses};
    };
    // raise the rate until the server loses data, then narrow the limit down
    RunResult best = facility;
    std::uint64_t bytesPerPulse = facilityBytes;
    double good = facility.sustained() ? 10. : 0., bad = facility.sustained() ? 0. : 10.;
    if(options.fixedRate > 0.) {
      auto [result, bytes] = step(options.fixedRate);
      best = result;
      bytesPerPulse = bytes;
      good = result.sustained() ? options.fixedRate : 0.;
      bad = result.sustained() ? 0. : options.fixedRate;
    }
    for(double rate : {25., 50., 100., 150., 200., 300., 400., 600., 800., 1200., 1600.}) {
      if(bad > 0. || options.fixedRate > 0.) break;
      auto [result, bytes] = step(rate);
      if(!result.sustained()) {
        bad = rate;
        break;
      }
      good = rate;
      best = result;
      bytesPerPulse = bytes;
    }
    for(int k = 0; k < 4 && bad > 0. && good > 0. && options.fixedRate == 0.; ++k) {
      double rate = std::round((good + bad) / 2.);
      auto [result, bytes] = step(rate);
      if(result.sustained()) {
        good = rate;
        best = result;
        bytesPerPulse = bytes;
      }
      else {
        bad = rate;
      }
    }

    const std::uint64_t bytesRead = station.bytesReadPerPulse();
    const std::uint64_t bytesWritten = bytesPerPulse > bytesRead ? bytesPerPulse - bytesRead : bytesPerPulse;
    auto bound = measureMemoryBound(bytesRead, bytesWritten, shape.pulseLength);
    std::size_t controllerChannels = 0;
    for(auto& reg : station.controllerDaqRegisters()) controllerChannels += reg.name.ends_with(".I") ? 1 : 0;
    const auto floor = measureArithmeticFloor({std::size_t(shape.boards) * shape.channelsPerBoard, controllerChannels,
        shape.pulseLength, shape.statistics != 0});

    if(options.fixedRate > 0.) {
      std::printf("\nOne run at %.0f Hz: %s\n", options.fixedRate, good > 0. ? "no data lost" : "data lost");
    }
    else {
      std::printf("\nHighest sustained trigger rate with no lost data: %.0f Hz%s\n", good,
          bad > 0. ? "" : " (the highest rate tried)");
    }
    std::printf("  (%s; figures below at that rate)\n",
        good > 0. ? "every output of every pulse arrived, no queue overflow, DataLossCounter unchanged"
                  : options.fixedRate > 0. ? "data was lost" : "data was lost even at 10 Hz");
    std::printf("  latency trigger -> last channel output: median %.2f ms, p99 %.2f ms\n", best.channelLatency.median,
        best.channelLatency.p99);
    std::printf("  latency trigger -> vector sum:          median %.2f ms, p99 %.2f ms\n", best.vectorSumLatency.median,
        best.vectorSumLatency.p99);
    std::printf("  CPU time per pulse: %.2f ms (%.2f ms at 10 Hz)\n", 1e3 * best.cpuSecondsPerPulse,
        1e3 * facility.cpuSecondsPerPulse);
    std::printf("  minor page faults per pulse: %.1f (%.1f at 10 Hz)\n", best.minorFaultsPerPulse,
        facility.minorFaultsPerPulse);
    std::printf("  memory: peak resident %.0f MB, now %.0f MB; array bytes copied by the transport %.1f MB per pulse\n",
        residentMegabytes("VmHWM:"), residentMegabytes("VmRSS:"), double(best.bytesCopiedPerPulse) / 1e6);
    std::printf("Memory-bandwidth bound: read %.1f MB (DAQ arrays) and write %.1f MB (the rest of the published data) once: %.2f ms "
                "(%.1f GB/s, one thread); CPU time per pulse is %.1fx that\n",
        double(bound.bytesRead) / 1e6, double(bound.bytesWritten) / 1e6, 1e3 * bound.seconds,
        bound.gigabytesPerSecond(), best.cpuSecondsPerPulse / bound.seconds);
    std::printf("Arithmetic floor: the device reads, %zu ADC and %zu controller channel kernels and the vector sum of one "
                "pulse on one thread, without the framework: %.2f ms (the statistics' float sums in index order %.2f ms "
                "of it); CPU time per pulse is %.1fx that; %d cores could not run more than %.0f pulses per second\n",
        std::size_t(shape.boards) * shape.channelsPerBoard, controllerChannels, 1e3 * floor.seconds,
        1e3 * floor.statisticsSeconds, best.cpuSecondsPerPulse / floor.seconds, options.cores,
        double(options.cores) / floor.seconds);
    // the goals for the full station (8 boards x 10 channels x 16384 samples on 2 cores)
    auto goal = [](const char* what, double measured, const char* unit, bool met, const char* target) {
      std::printf("  %-34s %9.2f %-3s %-10s %s\n", what, measured, unit, target, met ? "met" : "not met");
    };
    std::printf("Goals for 8 boards x 10 channels x 16384 samples on 2 cores:\n");
    goal("sustained rate without lost data", good, "Hz", good >= 300., ">= 300");
    goal("p99 trigger -> vector sum", best.vectorSumLatency.p99, "ms", best.vectorSumLatency.p99 < 8., "< 8");
    goal("CPU time per pulse", 1e3 * best.cpuSecondsPerPulse, "ms", 1e3 * best.cpuSecondsPerPulse <= 4., "<= 4");
    goal("threads of the process", double(threads), "", threads <= 40, "<= 40");
    goal("CPU load without triggers", idlePercent, "%", idlePercent < 2., "< 2");
    app.shutdown();
    return 0;
  }
  catch(std::exception& e) {
    std::fprintf(stderr, "bench_station: %s\n", e.what());
    return 1;
  }
}
