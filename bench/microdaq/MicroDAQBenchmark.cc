// MicroDAQ benchmark: 100 float arrays of 16384 elements (6.55 MB) per trigger, recorded at
// 10 Hz and at 100 Hz for a few seconds each. Prints what reached the files (MB/s over the time
// from the first trigger until the writer has taken the last one) and the dropped triggers,
// beside the speed of plain write() calls storing the same bytes, in the same directory, in
// files of the same size. Neither side calls fsync: both measure up to the page cache.
//
//   bench_microdaq [directory] [seconds per rate]     (default: a new directory in /tmp, 5 s)
#include <Corvane/Corvane.h>
#include <Corvane/MicroDAQ.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

using namespace Corvane;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

  constexpr std::size_t nArrays = 100;
  constexpr std::size_t arrayLength = 16384;
  constexpr std::uint32_t triggersPerFile = 10;
  constexpr std::uint32_t numberOfFiles = 4;
  constexpr double bytesPerTrigger = double(nArrays * arrayLength * sizeof(float));

  /// The pulse source: new arrays and a trigger at a fixed rate, then it stops. It also feeds the
  /// MicroDAQ's settings, so that no control-system writes are needed.
  struct Pulser : ApplicationModule {
    Pulser(Module* owner, const fs::path& directory, long nTriggers, std::chrono::nanoseconds period)
    : ApplicationModule(owner, "Pulser", "arrays and trigger"), _directory(directory), _nTriggers(nTriggers),
      _period(period) {
      traces.reserve(nArrays);
      for(std::size_t i = 0; i < nArrays; ++i) {
        traces.emplace_back(this, "/Bench/trace" + std::to_string(i), "", arrayLength, "",
            std::unordered_set<std::string>{"DAQ"});
      }
    }
    std::vector<ArrayOutput<float>> traces;
    ScalarOutput<std::int64_t> trigger{this, "/Bench/trigger", "", ""};
    ScalarOutput<Boolean> enable{this, "/MicroDAQ/enable", "", ""};
    ScalarOutput<std::string> directory{this, "/MicroDAQ/directory", "", ""};
    ScalarOutput<std::uint32_t> perFile{this, "/MicroDAQ/triggersPerFile", "", ""};
    ScalarOutput<std::uint32_t> files{this, "/MicroDAQ/numberOfFiles", "", ""};

    void prepare() override {
      enable = true;
      directory = _directory.string();
      perFile = triggersPerFile;
      files = numberOfFiles;
      writeAll();
    }

    void mainLoop() override {
      auto next = steadyNow();
      for(long n = 1; n <= _nTriggers; ++n) {
        for(auto& trace : traces) {
          trace[0] = static_cast<float>(n);
          trace.writeDestructively();
        }
        trigger.setAndWrite(n);
        next += _period;
        auto now = steadyNow();
        if(next > now) sleepFor(next - now);
      }
    }

   private:
    fs::path _directory;
    long _nTriggers;
    std::chrono::nanoseconds _period;
  };

  struct BenchApp : Application {
    BenchApp(const fs::path& directory, long nTriggers, std::chrono::nanoseconds period)
    : Application("bench_microdaq"), pulser(this, directory, nTriggers, period) {
      daq = MicroDAQ<std::int64_t>(this, "MicroDAQ", "Local ringbuffer DAQ system", "DAQ", "/Bench/trigger");
    }
    Pulser pulser;
    MicroDAQ<std::int64_t> daq;
  };

  struct DaqResult {
    double seconds;
    std::uint64_t recorded, dropped;
  };

  DaqResult recordAt(const fs::path& directory, double rate, long nTriggers) {
    BenchApp app(directory, nTriggers, std::chrono::nanoseconds(static_cast<long>(1e9 / rate)));
    auto& cs = app.getControlSystem();
    auto count = [&](const char* path) { return cs.variable(path).get<std::uint64_t>().at(0); };
    auto start = Clock::now();
    app.run();
    DaqResult result{};
    while(true) {
      result.recorded = count("/MicroDAQ/recordedTriggers");
      result.dropped = count("/MicroDAQ/droppedTriggers");
      if(result.recorded + result.dropped >= static_cast<std::uint64_t>(nTriggers)) break;
      if(Clock::now() - start > std::chrono::minutes(5)) {
        app.shutdown();
        throw std::runtime_error("the writer did not finish");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    auto message = cs.variable("/MicroDAQ/lastError").get<std::string>().at(0);
    if(!message.empty()) std::printf("writer error: %s\n", message.c_str());
    app.shutdown();
    return result;
  }

  /// Plain write() of `nTriggers` triggers' bytes, in files of the same size as the MicroDAQ's.
  double rawWrite(const fs::path& directory, long nTriggers) {
    std::vector<float> buffer(arrayLength, 1.f);
    auto start = Clock::now();
    int fd = -1;
    for(long n = 0; n < nTriggers; ++n) {
      if(n % triggersPerFile == 0) {
        if(fd >= 0) ::close(fd);
        auto name = directory / ("raw_" + std::to_string((n / triggersPerFile) % numberOfFiles) + ".bin");
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if(fd < 0) throw std::runtime_error("cannot create " + name.string());
      }
      for(std::size_t a = 0; a < nArrays; ++a) {
        auto bytes = static_cast<ssize_t>(buffer.size() * sizeof(float));
        if(::write(fd, buffer.data(), static_cast<std::size_t>(bytes)) != bytes) throw std::runtime_error("write failed");
      }
    }
    if(fd >= 0) ::close(fd);
    return std::chrono::duration<double>(Clock::now() - start).count();
  }

} // namespace

int main(int argc, char** argv) {
  fs::path base = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "bench_microdaq";
  double secondsPerRate = argc > 2 ? std::atof(argv[2]) : 5.0;
  Logger::instance().setMinimumSeverity(Logger::Severity::warning);

  std::printf("MicroDAQ: %zu float arrays x %zu elements = %.2f MB per trigger, %u triggers per file, %u files\n",
      nArrays, arrayLength, bytesPerTrigger / 1e6, triggersPerFile, numberOfFiles);
  std::printf("directory: %s\n\n", base.c_str());
  std::printf("%7s %9s %10s %10s %9s %12s %14s\n", "rate", "triggers", "offered", "recorded", "dropped",
      "MicroDAQ", "plain write()");
  std::printf("%7s %9s %10s %10s %9s %12s %14s\n", "[Hz]", "", "[MB/s]", "", "", "[MB/s]", "[MB/s]");
  for(double rate : {10.0, 100.0}) {
    auto directory = base / ("rate" + std::to_string(static_cast<int>(rate)));
    fs::remove_all(directory);
    fs::create_directories(directory);
    long nTriggers = static_cast<long>(rate * secondsPerRate);
    auto daq = recordAt(directory, rate, nTriggers);
    double rawSeconds = rawWrite(directory, nTriggers);
    std::printf("%7.0f %9ld %10.1f %10llu %9llu %12.1f %14.1f\n", rate, nTriggers, rate * bytesPerTrigger / 1e6,
        static_cast<unsigned long long>(daq.recorded), static_cast<unsigned long long>(daq.dropped),
        double(daq.recorded) * bytesPerTrigger / daq.seconds / 1e6, double(nTriggers) * bytesPerTrigger / rawSeconds / 1e6);
    fs::remove_all(directory);
  }
  fs::remove_all(base);
  return 0;
}
