// Control-system server benchmark: a module writes a 16384-float array at 10, 100 and 1000 Hz;
// 1 and 10 WebSocket subscribers receive it through the control-system server. For each case it
// prints the read latency (from the module's write to the client's receipt: median and p99),
// the updates delivered per second, and the time the module's write() took; beside it the same
// bytes sent by a bare Boost.Beast WebSocket server (BareBroadcastServer.h) in the same run.
//
// Usage: bench_controlsystem [seconds per case, default 3]
#include "BareBroadcastServer.h"
#include "BenchClient.h"

#include <Corvane/Corvane.h>
#include <Corvane/Cs/Server.h>

#include <algorithm>
#include <cstdio>
#include <future>

using namespace Corvane;

namespace bench {

  constexpr std::size_t nElements = 16384;

  struct Case {
    double rate;
    int subscribers;
    double seconds;
  };

  struct Outcome {
    std::vector<double> latenciesUs;
    std::uint64_t updates{0};
    std::uint64_t skipped{0};
    double seconds{0};
    std::vector<double> writeUs;
  };

  double percentile(std::vector<double> values, double p) {
    if(values.empty()) return 0;
    std::sort(values.begin(), values.end());
    auto index = std::min(values.size() - 1, static_cast<std::size_t>(p * double(values.size() - 1) + 0.5));
    return values[index];
  }

  /// Produces at `rate` until told to stop: marks the slot in element 0, records the send time,
  /// hands the array on and measures how long that took.
  struct Producer {
    SendTimes* sendTimes;
    double rate;
    std::vector<double> writeUs;
    template<class Mark, class Send>
    void loop(Mark&& mark, Send&& send, const std::function<bool()>& running,
        const std::function<void(Clock::duration)>& sleep) {
      auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1. / rate));
      auto next = Clock::now();
      std::uint64_t sequence = 0;
      while(running()) {
        auto slot = sequence++ % nSlots;
        mark(float(slot));
        (*sendTimes)[slot].store(nowNs(), std::memory_order_release);
        auto before = Clock::now();
        send();
        if(writeUs.size() < 200000) writeUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - before).count());
        next += period;
        auto now = Clock::now();
        if(next < now) next = now;
        sleep(next - now);
      }
    }
  };

  struct Generator : ApplicationModule {
    Generator(Module* owner, Producer* producer_) : ApplicationModule(owner, "Generator", "writes the array"), producer(producer_) {}
    Producer* producer;
    ArrayOutput<float> trace{this, "/Bench/trace", "V", nElements, "benchmark array"};
    void mainLoop() override {
      for(std::size_t i = 0; i < nElements; ++i) trace[i] = float(i) * 0.001f;
      producer->loop(
          [&](float slot) { trace[0] = slot; }, [&] { trace.write(); },
          [] { return true; }, [](Clock::duration d) { sleepFor(d); });
    }
  };

  struct BenchApplication : Application {
    explicit BenchApplication(Producer* producer) : Application("bench"), generator(this, producer) {}
    Generator generator;
  };

  Outcome runClients(unsigned short port, const std::string& subscribe, const SendTimes& sendTimes, const Case& c) {
    auto start = Clock::now() + std::chrono::milliseconds(500);
    auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(c.seconds));
    std::vector<std::future<ClientResult>> clients;
    for(int i = 0; i < c.subscribers; ++i)
      clients.push_back(std::async(std::launch::async, [&] { return runClient(port, subscribe, sendTimes, start, end); }));
    Outcome outcome;
    for(auto& client : clients) {
      auto result = client.get();
      outcome.latenciesUs.insert(outcome.latenciesUs.end(), result.latenciesUs.begin(), result.latenciesUs.end());
      outcome.updates += result.updates;
      outcome.skipped += result.skippedReported;
    }
    outcome.seconds = c.seconds;
    return outcome;
  }

  Outcome runControlSystem(const Case& c, SendTimes& sendTimes) {
    Producer producer{&sendTimes, c.rate, {}};
    BenchApplication app(&producer);
    app.initialise();
    Cs::ServerOptions options;
    options.port = 0;
    Cs::Server server(app.getControlSystem(), options);
    app.run();
    server.start();
    auto outcome = runClients(server.port(), R"({"subscribe":"/Bench/trace"})", sendTimes, c);
    server.stop();
    app.shutdown();
    outcome.writeUs = producer.writeUs;
    return outcome;
  }

  Outcome runBare(const Case& c, SendTimes& sendTimes) {
    Producer producer{&sendTimes, c.rate, {}};
    BareBroadcastServer server;
    std::string header = R"({"type":"update","path":"/Bench/trace","dataType":"float","nElements":16384,)"
                         R"("valid":true,"version":123456,"time":"2026-01-01T00:00:00.000000Z","skipped":0})";
    header.append((8 - (4 + header.size()) % 8) % 8, ' ');
    std::string prefix(4, '\0');
    auto length = static_cast<std::uint32_t>(header.size());
    std::memcpy(prefix.data(), &length, 4);
    prefix += header;
    std::atomic<bool> running{true};
    std::thread thread([&] {
      std::vector<float> data(nElements);
      for(std::size_t i = 0; i < nElements; ++i) data[i] = float(i) * 0.001f;
      producer.loop(
          [&](float slot) { data[0] = slot; },
          [&] {
            auto message = std::make_shared<std::string>(prefix);
            message->append(reinterpret_cast<const char*>(data.data()), data.size() * sizeof(float));
            server.broadcast(std::move(message));
          },
          [&] { return running.load(); }, [](Clock::duration d) { std::this_thread::sleep_for(d); });
    });
    auto outcome = runClients(server.port(), "", sendTimes, c);
    running = false;
    thread.join();
    outcome.writeUs = producer.writeUs;
    return outcome;
  }

  void print(const char* system, const Case& c, const Outcome& o) {
    std::printf("%7.0f %5d  %-11s %10.1f %10.1f %12.1f %12.1f %9llu %10.1f %10.1f\n", c.rate, c.subscribers, system,
        percentile(o.latenciesUs, 0.5), percentile(o.latenciesUs, 0.99), double(o.updates) / o.seconds,
        double(o.updates) / o.seconds / c.subscribers, static_cast<unsigned long long>(o.skipped),
        percentile(o.writeUs, 0.5), percentile(o.writeUs, 1.0));
    std::fflush(stdout);
  }

} // namespace bench

int main(int argc, char** argv) {
  using namespace bench;
  double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  Logger::instance().setMinimumSeverity(Logger::Severity::warning);
  auto sendTimes = std::make_unique<SendTimes>();
  std::printf("16384-float array over WebSocket, %.1f s per case (after 0.5 s warm-up)\n", seconds);
  std::printf("latency: producer write -> client receipt; delivered: updates received per second;\n"
              "skipped: intermediate values the server reported as skipped; write: the producer's hand-over time\n\n");
  std::printf("%7s %5s  %-11s %10s %10s %12s %12s %9s %10s %10s\n", "rate/Hz", "subs", "system", "median/us", "p99/us",
      "delivered/s", "per client/s", "skipped", "write/us", "max wr/us");
  for(double rate : {10., 100., 1000.}) {
    for(int subscribers : {1, 10}) {
      Case c{rate, subscribers, rate < 50 ? std::max(seconds, 5.0) : seconds};
      print("corvane-cs", c, runControlSystem(c, *sendTimes));
      print("bare beast", c, runBare(c, *sendTimes));
    }
  }
  return 0;
}
