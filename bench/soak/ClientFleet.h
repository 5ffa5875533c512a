// The WebSocket clients of the soak benchmark, each in a thread of its own:
//   readers   stay for the whole run and read everything they subscribed to;
//   churners  connect, subscribe, read for a moment and vanish (half of them drop the TCP
//             connection without a word, half close the WebSocket properly), again and again;
//   stallers  connect, subscribe to everything at full rate, read for a second, then stop
//             reading for a while (the server's buffers toward them fill up), and then either
//             vanish or read on for a moment first; a server that gave up on them in between
//             counts as a drop.
// A reader that loses its connection connects again. stop() ends every client within a bounded
// time: it shuts the sockets down under a lock, which wakes any blocked read.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace soak {

  struct FleetOptions {
    std::uint16_t port{0};
    unsigned readers{3};
    unsigned churners{6};
    unsigned stallers{3};
    double maxStallSeconds{45.}; ///< stalls last between 2 s and this
    std::uint32_t seed{1};
  };

  /// Counts since start(), from the clients' side.
  struct FleetCounts {
    std::uint64_t connections{0};      ///< WebSocket handshakes that succeeded
    std::uint64_t refused{0};          ///< connections or handshakes that failed
    std::uint64_t vanished{0};         ///< connections dropped by a client without a close
    std::uint64_t closed{0};           ///< connections a client closed properly
    std::uint64_t stalls{0};
    std::uint64_t droppedByServer{0};  ///< connections the server ended while the client still wanted them
    std::uint64_t updates{0};          ///< update messages read
    std::uint64_t skippedReported{0};  ///< intermediate values the server said it skipped
    std::uint64_t errorMessages{0};    ///< error messages from the server
    std::uint64_t open{0};             ///< connections open right now
  };

  class ClientFleet {
   public:
    explicit ClientFleet(FleetOptions options);
    ~ClientFleet();
    ClientFleet(const ClientFleet&) = delete;
    ClientFleet& operator=(const ClientFleet&) = delete;

    void start();
    void stop();
    FleetCounts counts() const;

   private:
    enum class Role { reader, churner, staller };
    class Session;
    struct Counters {
      std::atomic<std::uint64_t> connections{0}, refused{0}, vanished{0}, closed{0}, stalls{0}, droppedByServer{0},
          updates{0}, skippedReported{0}, errorMessages{0}, open{0};
    };

    void run(Role role, unsigned index);
    void runReader(Session& session);
    void runChurner(Session& session, std::uint32_t& random);
    void runStaller(Session& session, std::uint32_t& random);
    /// Sleeps in short steps while the fleet runs; false when it was stopped.
    bool pause(double seconds) const;

    FleetOptions _options;
    Counters _counters;
    std::atomic<bool> _running{false};
    std::vector<std::thread> _threads;

    // native handles of open sockets, shut down by stop()
    std::mutex _socketsMutex;
    std::set<int> _sockets;
  };

} // namespace soak
