// What the sessions of one server share: its settings, the update hub, the API, the static
// files and the counters. Sessions hold it by shared pointer, so it outlives every session, also
// those whose handlers are destroyed only with the network thread's io_context.
#pragma once

#include "Corvane/Cs/ApiHandler.h"
#include "Corvane/Cs/ConnectionAdmission.h"
#include "Corvane/Cs/ServerOptions.h"

#include <Corvane/LogRateLimit.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

namespace Corvane::Cs {

  class UpdateHub;
  class StaticFiles;

  /// A connection the server can close when it stops.
  class Session {
   public:
    virtual ~Session() = default;
    /// Closes the connection and lets go of every subscription (network thread).
    virtual void close() = 0;
    /// Appends a JSON object describing the session for /api/stats, or nothing.
    virtual void describe(std::string& out) const = 0;
  };

  struct ServerState {
    explicit ServerState(ServerOptions serverOptions)
    : options(std::move(serverOptions)), admission(ConnectionAdmission::limitsOf(options)) {}

    ServerOptions options;
    WriteCounters writes;
    std::atomic<std::uint64_t> updatesSent{0};
    std::atomic<std::uint64_t> updatesSkipped{0};

    // network thread only; the pointers are valid until the server has stopped
    UpdateHub* hub{nullptr};
    ApiHandler* api{nullptr};
    StaticFiles* files{nullptr};
    bool stopping{false};
    ConnectionAdmission admission;
    std::size_t webSocketClients{0};
    std::uint64_t nextSessionId{1};
    /// Clients dropped for not reading: one warning line per second at most.
    LogRateLimit droppedClientLog;
    bool droppedClientReportPending{false};
    std::unordered_map<Session*, std::weak_ptr<Session>> sessions;

    void add(const std::shared_ptr<Session>& session) { sessions[session.get()] = session; }
    void remove(Session* session) { sessions.erase(session); }
  };

} // namespace Corvane::Cs
