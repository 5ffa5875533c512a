// Soak benchmark: runs the real station server (tessarel_server) on a scratch copy of the
// simulated station whose controller is a plain dummy device in place of the simulated board
// (which would pace the trigger itself), drives its macro-pulse trigger over the HTTP API at a
// fixed rate (100 Hz) for a given time while WebSocket clients subscribe, read, stall and
// vanish (ClientFleet.h),
// and prints side by side, at the start (idle), after the warm-up, at the end of the load and
// after the clients have left: the server's resident memory and open descriptors (from /proc),
// its /api/stats counters, the data it lost (/Server/DataLossCounter/triggersWithDataLoss) and
// what the clients saw (drops by the server, refusals, skipped values).
//
// Usage: bench_soak [--seconds S (60)] [--rate HZ (100)] [--settle S (5)] [--readers N (3)]
//                   [--churners N (6)] [--stallers N (3)] [--max-stall S (45)] [--seed N (1)]
//                   [--keep] [--server PROGRAM] [--station DIRECTORY]
// --settle: the server is left alone that long after it listens (its devices open and run their
// initialisation) before the idle figures are taken and the load begins.
// --keep leaves the scratch directory (server output, settings file) in place.
#include "ClientFleet.h"
#include "ServerProcess.h"
#include "TriggerDriver.h"

#include <Corvane/Cs/HttpClient.h>
#include <Corvane/Cs/Json.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace soak {

  namespace {

    using Clock = std::chrono::steady_clock;

    struct Options {
      double seconds{60};
      double rate{100};
      double settleSeconds{5};
      FleetOptions fleet;
      bool keep{false};
      std::string server{TESSAREL_SERVER};
      std::string station{TESSAREL_SIM_DIR};
    };

    Options parse(int argc, char** argv) {
      Options options;
      for(int k = 1; k < argc; ++k) {
        std::string key = argv[k];
        if(key == "--keep") {
          options.keep = true;
          continue;
        }
        if(k + 1 >= argc) throw std::invalid_argument("missing value after " + key);
        std::string value = argv[++k];
        if(key == "--seconds") options.seconds = std::stod(value);
        else if(key == "--rate") options.rate = std::stod(value);
        else if(key == "--settle") options.settleSeconds = std::stod(value);
        else if(key == "--readers") options.fleet.readers = static_cast<unsigned>(std::stoul(value));
        else if(key == "--churners") options.fleet.churners = static_cast<unsigned>(std::stoul(value));
        else if(key == "--stallers") options.fleet.stallers = static_cast<unsigned>(std::stoul(value));
        else if(key == "--max-stall") options.fleet.maxStallSeconds = std::stod(value);
        else if(key == "--seed") options.fleet.seed = static_cast<std::uint32_t>(std::stoul(value));
        else if(key == "--server") options.server = value;
        else if(key == "--station") options.station = value;
        else throw std::invalid_argument("unknown option " + key);
      }
      if(!(options.seconds > 0) || !(options.rate > 0)) throw std::invalid_argument("seconds and rate must be positive");
      return options;
    }

    /// One column of the table.
    struct Snapshot {
      std::string name;
      double atSeconds{0};
      ProcessFigures process;
      std::vector<std::pair<std::string, std::string>> stats; ///< numeric members of /api/stats, in order
      std::string triggerNumber{"-"};
      std::string triggersWithDataLoss{"-"};
      TriggerCounts triggers;
      FleetCounts clients;
    };

    /// The server's side, read through its API (a connection of its own, counted in its stats).
    class Monitor {
     public:
      explicit Monitor(std::uint16_t port) : _client("127.0.0.1", port, std::chrono::seconds(5)) {}

      std::string value(const std::string& path) {
        try {
          auto response = _client.request("GET", "/api/variables" + path);
          if(response.status != 200) return "HTTP " + std::to_string(response.status);
          auto* value = Corvane::Cs::Json::parse(response.body).find("value");
          return value ? value->dump() : "?";
        }
        catch(std::exception&) {
          return "unreachable";
        }
      }

      std::vector<std::pair<std::string, std::string>> stats() {
        std::vector<std::pair<std::string, std::string>> result;
        try {
          auto document = Corvane::Cs::Json::parse(_client.request("GET", "/api/stats").body);
          for(auto& [name, item] : document.members())
            if(item.isNumber()) result.emplace_back(name, item.text());
        }
        catch(std::exception&) {
        }
        return result;
      }

      /// Waits, at most `limit`, until the server has no WebSocket client left.
      void waitForClientsToLeave(std::chrono::seconds limit) {
        auto end = Clock::now() + limit;
        while(Clock::now() < end) {
          for(auto& [name, value] : stats())
            if(name == "webSocketClients" && value == "0") return;
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
      }

     private:
      Corvane::Cs::HttpClient _client;
    };

    void printTable(const std::vector<Snapshot>& columns) {
      std::vector<std::pair<std::string, std::vector<std::string>>> rows;
      auto row = [&](const std::string& name, auto field) {
        std::vector<std::string> cells;
        for(auto& c : columns) cells.push_back(field(c));
        rows.emplace_back(name, std::move(cells));
      };
      auto number = [](auto v) { return std::to_string(v); };
      row("time (s)", [](const Snapshot& c) {
        char text[32];
        std::snprintf(text, sizeof(text), "%.1f", c.atSeconds);
        return std::string(text);
      });
      row("server resident memory (KiB)", [&](const Snapshot& c) { return number(c.process.residentKiB); });
      row("server peak resident (KiB)", [&](const Snapshot& c) { return number(c.process.peakResidentKiB); });
      row("server open descriptors", [&](const Snapshot& c) { return number(c.process.descriptors); });
      row("  of them sockets", [&](const Snapshot& c) { return number(c.process.sockets); });
      row("server threads", [&](const Snapshot& c) { return number(c.process.threads); });
      // every numeric member the server's statistics have, in the order of the last column
      for(auto& [name, unused] : columns.back().stats) {
        row("stats " + name, [&](const Snapshot& c) {
          for(auto& [n, v] : c.stats)
            if(n == name) return v;
          return std::string("-");
        });
      }
      row("/Server/triggerNumber", [](const Snapshot& c) { return c.triggerNumber; });
      row("triggers with data loss", [](const Snapshot& c) { return c.triggersWithDataLoss; });
      row("triggers sent", [&](const Snapshot& c) { return number(c.triggers.sent); });
      row("  refused or unanswered", [&](const Snapshot& c) { return number(c.triggers.failed); });
      row("  periods missed", [&](const Snapshot& c) { return number(c.triggers.missed); });
      row("clients connected (total)", [&](const Snapshot& c) { return number(c.clients.connections); });
      row("  open now", [&](const Snapshot& c) { return number(c.clients.open); });
      row("  refused", [&](const Snapshot& c) { return number(c.clients.refused); });
      row("  vanished (no close)", [&](const Snapshot& c) { return number(c.clients.vanished); });
      row("  closed properly", [&](const Snapshot& c) { return number(c.clients.closed); });
      row("  stalls", [&](const Snapshot& c) { return number(c.clients.stalls); });
      row("  dropped by the server", [&](const Snapshot& c) { return number(c.clients.droppedByServer); });
      row("updates read by clients", [&](const Snapshot& c) { return number(c.clients.updates); });
      row("  skipped values reported", [&](const Snapshot& c) { return number(c.clients.skippedReported); });
      row("  error messages", [&](const Snapshot& c) { return number(c.clients.errorMessages); });

      std::printf("%-32s", "");
      for(auto& c : columns) std::printf("%20s", c.name.c_str());
      std::printf("\n");
      for(auto& [name, cells] : rows) {
        std::printf("%-32s", name.c_str());
        for(auto& cell : cells) std::printf("%20s", cell.c_str());
        std::printf("\n");
      }
    }

    long long difference(const std::string& later, const std::string& earlier) {
      try {
        return std::stoll(later) - std::stoll(earlier);
      }
      catch(std::exception&) {
        return 0;
      }
    }

    int soak(const Options& options) {
      ServerProcess server(options.server, options.station);
      if(options.keep) server.keep();
      std::error_code ignored;
      std::filesystem::remove(server.directory() / "tessarel_settings.json", ignored);
      auto port = server.waitUntilListening(std::chrono::seconds(60));
      auto begin = Clock::now();
      auto seconds = [&] { return std::chrono::duration<double>(Clock::now() - begin).count(); };
      std::printf("soak: %s on 127.0.0.1:%u (pid %d) in %s\n", options.server.c_str(), port, int(server.pid()),
          server.directory().c_str());
      std::printf("soak: %.0f s of triggers at %.0f Hz; %u readers, %u churners, %u stallers (stalls up to %.0f s)\n",
          options.seconds, options.rate, options.fleet.readers, options.fleet.churners, options.fleet.stallers,
          options.fleet.maxStallSeconds);
      std::fflush(stdout);

      Monitor monitor(port);
      TriggerDriver triggers(port, options.rate);
      auto fleetOptions = options.fleet;
      fleetOptions.port = port;
      ClientFleet clients(fleetOptions);

      std::vector<Snapshot> columns;
      auto take = [&](const std::string& name) {
        Snapshot s;
        s.name = name;
        s.atSeconds = seconds();
        // the API first: the monitor's own connection is then open in every column alike
        s.stats = monitor.stats();
        s.triggerNumber = monitor.value("/Server/triggerNumber");
        s.triggersWithDataLoss = monitor.value("/Server/DataLossCounter/triggersWithDataLoss");
        s.process = server.figures();
        s.triggers = triggers.counts();
        s.clients = clients.counts();
        columns.push_back(std::move(s));
      };

      std::this_thread::sleep_for(std::chrono::duration<double>(options.settleSeconds));
      take("start (idle)");
      triggers.start();
      clients.start();
      auto loadBegin = Clock::now();
      auto loadEnd = loadBegin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.seconds));
      auto warmUp = std::min(10.0, options.seconds / 6);
      std::this_thread::sleep_until(
          loadBegin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(warmUp)));
      take("after warm-up");
      std::this_thread::sleep_until(loadEnd);
      take("end of load");
      clients.stop();
      triggers.stop();
      monitor.waitForClientsToLeave(std::chrono::seconds(10));
      std::this_thread::sleep_for(std::chrono::seconds(1));
      take("end (clients gone)");

      auto stopBegin = Clock::now();
      int exitStatus = server.stop(std::chrono::seconds(30));
      auto stopMs = std::chrono::duration<double, std::milli>(Clock::now() - stopBegin).count();

      std::printf("\n");
      printTable(columns);
      auto& warm = columns[1];
      auto& loaded = columns[2];
      auto& end = columns[3];
      auto t = loaded.triggers;
      std::printf("\ntrigger writes: median %.2f ms, p99 %.2f ms, max %.2f ms; achieved %.1f Hz\n", t.medianWriteMs,
          t.p99WriteMs, t.maxWriteMs, double(t.sent) / options.seconds);
      std::printf("from warm-up to the end of the load: resident memory %+lld KiB, descriptors %+lld; "
                  "after the clients left: %+lld KiB, descriptors %+lld against the idle start\n",
          static_cast<long long>(loaded.process.residentKiB) - static_cast<long long>(warm.process.residentKiB),
          static_cast<long long>(loaded.process.descriptors) - static_cast<long long>(warm.process.descriptors),
          static_cast<long long>(end.process.residentKiB) - static_cast<long long>(columns[0].process.residentKiB),
          static_cast<long long>(end.process.descriptors) - static_cast<long long>(columns[0].process.descriptors));
      std::printf("lost data: %lld triggers with data loss during the load; %llu clients dropped by the server\n",
          difference(loaded.triggersWithDataLoss, columns[0].triggersWithDataLoss),
          static_cast<unsigned long long>(end.clients.droppedByServer));
      std::printf("server shutdown: exit status %d after %.0f ms\n", exitStatus, stopMs);
      if(exitStatus != 0) std::cout << server.output() << std::endl;
      return exitStatus == 0 ? 0 : 1;
    }

  } // namespace

} // namespace soak

int main(int argc, char** argv) {
  try {
    return soak::soak(soak::parse(argc, argv));
  }
  catch(std::invalid_argument& e) {
    std::cerr << "bench_soak: " << e.what() << "\n"
              << "usage: bench_soak [--seconds S] [--rate HZ] [--settle S] [--readers N] [--churners N]"
                 " [--stallers N] [--max-stall S] [--seed N] [--keep] [--server PROGRAM] [--station DIRECTORY]\n";
    return 2;
  }
  catch(std::exception& e) {
    std::cerr << "bench_soak: " << e.what() << std::endl;
    return 1;
  }
}
