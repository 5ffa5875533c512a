// Recorder switch benchmark: the simulated station (one ADC board of four channels, by default)
// driven at a fixed trigger rate while the MicroDAQ is off, switched on, and switched off again.
// For each phase it prints the CPU time per pulse, the pulses whose channel outputs all arrived,
// the push-queue overflows (named by variable and reader) and the recorder's recorded and dropped
// triggers. A switched-off recorder should cost what it cost before it was first switched on, and
// switching should cost no module a pulse.
//
//   bench_recorder_switch [--rate HZ] [--seconds S] [--cycles N] [--channels N] [--pulse-length N]
//                         [--dir PATH]
// Each phase lasts S seconds (default 5); N on/off cycles follow the first phase (default 2).
// Files go to "uDAQ" in PATH (default "recorder-bench-run" in the working directory), 100
// triggers per file, in the ring of 10 files of the station's default settings.
#include "OptionList.h"
#include "PulseDriver.h"
#include "ScaledStation.h"

#include "Tessarel.h"

#include <Corvane/ControlSystem.h>
#include <Corvane/Logger.h>
#include <Corvane/detail/Network.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <map>
#include <string>
#include <thread>

namespace {

  using namespace stationbench;

  struct Options {
    StationShape shape{1, 4, 2048};
    double rate{100.};
    double seconds{5.};
    int cycles{2};
    std::string directory{"recorder-bench-run"};
  };

  Options parse(int argc, char** argv) {
    Options options;
    OptionList()
        .add("--rate", options.rate)
        .add("--seconds", options.seconds)
        .add("--cycles", options.cycles)
        .add("--channels", options.shape.channelsPerBoard)
        .add("--pulse-length", options.shape.pulseLength)
        .add("--dir", options.directory)
        .parse(argc, argv);
    return options;
  }

  /// Overflows of every push queue so far, by "<path> (<reader>)".
  std::map<std::string, std::uint64_t> lossesByReader(Corvane::Application& app) {
    std::map<std::string, std::uint64_t> losses;
    for(auto& [path, variable] : app.network().variables()) {
      for(auto& participant : variable->participants) {
        if(!participant.receiver || participant.receiver->lostTransfers() == 0) continue;
        losses[path + " (" + participant.describe() + ")"] = participant.receiver->lostTransfers();
      }
    }
    return losses;
  }

  /// CPU seconds of every thread of the process so far, by thread name (threads of one name summed).
  std::map<std::string, double> cpuByThread() {
    std::map<std::string, double> seconds;
    const double tick = double(sysconf(_SC_CLK_TCK));
    for(auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
      std::ifstream stat(task.path() / "stat");
      std::string line;
      std::getline(stat, line);
      auto open = line.find('('), close = line.rfind(')');
      if(open == std::string::npos || close == std::string::npos) continue;
      std::istringstream rest(line.substr(close + 2));
      std::string field;
      double utime = 0, stime = 0;
      for(int k = 3; k <= 15 && rest >> field; ++k) {
        if(k == 14) utime = std::stod(field);
        if(k == 15) stime = std::stod(field);
      }
      seconds[line.substr(open + 1, close - open - 1)] += (utime + stime) / tick;
    }
    return seconds;
  }

  std::uint64_t counter(Corvane::ControlSystem& cs, const std::string& path) {
    auto values = cs.variable(path).get<std::uint64_t>();
    return values.empty() ? 0 : values.front();
  }

} // namespace

int main(int argc, char** argv) {
  try {
    auto options = parse(argc, argv);
    Corvane::Logger::instance().setMinimumSeverity(Corvane::Logger::Severity::warning);
    ScaledStation station(TESSAREL_SIM_DIR, options.shape);
    station.write(options.directory);
    if(chdir(options.directory.c_str()) != 0) throw std::runtime_error("cannot enter " + options.directory);
    std::printf("Station: %u ADC board(s) x %u channels, pulse length %u; %.0f Hz, %.1f s per phase\n",
        options.shape.boards, options.shape.channelsPerBoard, options.shape.pulseLength, options.rate, options.seconds);

    Tessarel app("tessarel");
    app.run();
    auto& cs = app.getControlSystem();
    std::vector<std::string> outputs;
    for(std::uint32_t c = 0; c < options.shape.channelsPerBoard; ++c) {
      auto path = "/AdcBoard0/Channel" + std::to_string(c) + "/amplitude";
      if(cs.has(path) && !cs.variable(path).isFedByControlSystem()) outputs.push_back(path);
    }
    const auto pulses = std::size_t(options.rate * options.seconds);
    PulseDriver driver(app, outputs, 10 * pulses + 100);
    driver.run(10., 20);
    driver.keepOnlyRegularOutputs();
    cs.variable("/MicroDAQ/directory").set(std::vector<std::string>{"uDAQ"});
    cs.variable("/MicroDAQ/triggersPerFile").set(std::vector<std::uint32_t>{100});

    std::printf("%-28s %9s %11s %8s %9s %9s\n", "phase", "cpu ms/p", "complete", "lost", "recorded", "dropped");
    auto phase = [&](const char* label, int enable) {
      auto lossesBefore = lossesByReader(app);
      auto recordedBefore = counter(cs, "/MicroDAQ/recordedTriggers");
      auto droppedBefore = counter(cs, "/MicroDAQ/droppedTriggers");
      if(enable >= 0) cs.variable("/MicroDAQ/enable").set(std::vector<Corvane::Boolean>{enable != 0});
      auto cpuBefore = cpuByThread();
      auto result = driver.run(options.rate, pulses);
      auto cpuAfter = cpuByThread();
      std::printf("%-28s %9.3f %5zu/%-5zu %8llu %9llu %9llu\n", label, 1e3 * result.cpuSecondsPerPulse,
          result.complete, result.triggers, (unsigned long long)result.lostTransfers,
          (unsigned long long)(counter(cs, "/MicroDAQ/recordedTriggers") - recordedBefore),
          (unsigned long long)(counter(cs, "/MicroDAQ/droppedTriggers") - droppedBefore));
      std::vector<std::pair<double, std::string>> busiest;
      for(auto& [name, seconds] : cpuAfter) {
        auto used = seconds - (cpuBefore.count(name) ? cpuBefore[name] : 0.);
        if(used > 0) busiest.emplace_back(used, name);
      }
      std::sort(busiest.rbegin(), busiest.rend());
      std::printf("    busiest threads (ms/pulse):");
      for(std::size_t k = 0; k < busiest.size() && k < 5; ++k) {
        std::printf(" %s %.3f", busiest[k].second.c_str(), 1e3 * busiest[k].first / double(result.triggers));
      }
      std::printf("\n");
      for(auto& [reader, lost] : lossesByReader(app)) {
        auto before = lossesBefore.count(reader) ? lossesBefore[reader] : 0;
        if(lost > before) std::printf("    lost %llu: %s\n", (unsigned long long)(lost - before), reader.c_str());
      }
    };
    phase("off (never on)", -1);
    for(int cycle = 1; cycle <= options.cycles; ++cycle) {
      auto label = [&](const char* what) { return std::string(what) + " (" + std::to_string(cycle) + ")"; };
      phase(label("switched on").c_str(), 1);
      phase(label("on").c_str(), -1);
      phase(label("switched off").c_str(), 0);
      phase(label("off after on").c_str(), -1);
    }
    app.shutdown();
    return 0;
  }
  catch(std::exception& e) {
    std::fprintf(stderr, "bench_recorder_switch: %s\n", e.what());
    return 1;
  }
}
