// The control-system server: serves every process variable of an application over HTTP and
// WebSocket (Boost.Beast) and takes the operators' writes.
//
//   GET  /api/variables          {"application": instance name, "statusNames": ["OK", "FAULT",
//                                "OFF", "WARNING"], "variables": [...]}, each variable with path,
//                                type, nElements, unit, description, tags, writable and status
//                                (true for status variables, whose values index statusNames)
//   GET  /api/variables/<path>   value, validity, version, time stamp (JSON); with
//                                "Accept: application/octet-stream" or "?format=binary" the
//                                elements as little-endian bytes, the stamp in X-Corvane-* headers
//   PUT  /api/variables/<path>   writes (JSON value, {"value": ...}, or binary); 400 for a value
//                                of wrong type, length or range or a malformed request, 403 for
//                                a read-only variable or server or a missing token, 404 for an
//                                unknown path; the answer's body says what was wrong
//   GET  /api/info, /api/stats   server settings; per-client delivery and skip counts
//   GET  /api/ws                 WebSocket subscriptions (see WebSocketSession.h for messages)
//   GET  /                       the operator page
//
// Connections: who gets one is decided by ConnectionAdmission (a bound in all, a reserve for
// loopback clients and token holders, a share per client address); connections that idle, and
// WebSocket connections subscribed to nothing, are closed after ServerOptions' timeouts. Text is
// UTF-8 both ways: written strings that are not are refused, and every JSON text the server sends
// is valid UTF-8 also where it names input or device text it did not check. An error body quotes
// a client's input shortened (see RequestError::excerpt).
//
// Threading contract:
//  - Application threads never wait for the network. A value written by a module reaches the
//    server through the variable's listener, which only marks the variable as changed (an
//    atomic flag and, for the first change of a batch, a short mutex-protected list append and
//    a post to the network thread). The network thread later takes the newest value as a
//    shared snapshot: nothing is copied under the application's locks.
//  - Every client has its own latest-value slot per subscribed variable. A client that reads
//    slowly or not at all only skips intermediate values (counted and reported to it); its
//    socket is served by the network thread, never by an application thread.
//  - Writes from clients are checked completely in the network thread and then enter the
//    application through the framework's bounded queues (which never block).
//  - All sessions run on one network thread; start() and stop() are called from one thread.
#pragma once

#include "Corvane/Cs/ServerOptions.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Corvane {
  class ControlSystem;
}

namespace Corvane::Cs {

  struct ServerStatistics {
    std::size_t connections{0};
    std::size_t webSocketClients{0};
    std::uint64_t updatesSent{0};
    std::uint64_t updatesSkipped{0};
    std::uint64_t writesAccepted{0};
    std::uint64_t writesRefused{0};
  };

  class Server {
   public:
    /// Binds the listening socket; runtime_error naming address and port when that fails.
    Server(ControlSystem& controlSystem, ServerOptions options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    /// Starts serving in the network thread.
    void start();
    /// Closes every connection, detaches from the variables and joins the network thread.
    /// Idempotent; also done by the destructor.
    void stop();

    /// The port actually listened on.
    std::uint16_t port() const;
    const ServerOptions& options() const;
    ServerStatistics statistics() const;

    class Impl;

   private:
    std::shared_ptr<Impl> _impl;
  };

} // namespace Corvane::Cs
