// The HTTP API of the control-system server, apart from sockets: takes a parsed request and
// gives the response. Every refusal (400 malformed or wrong value, 403 not allowed, 404 unknown,
// 405 wrong method) carries a JSON body {"error": "<what was wrong>"} and changes nothing.
//
// Called in the network thread only.
#pragma once

#include "Corvane/Cs/ServerOptions.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Corvane {
  class ControlSystem;
}

namespace Corvane::Cs {

  struct HttpRequest {
    std::string method;        ///< "GET", "PUT", ...
    std::string target;        ///< path and query, e.g. "/api/variables/Ctrl/gain?format=binary"
    std::string authorization; ///< the Authorization header
    std::string accept;
    std::string contentType;
    std::string body;
  };

  struct HttpResponse {
    int status{200};
    std::string contentType{"application/json"};
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;

    /// A JSON error answer: {"error": message}.
    static HttpResponse error(int status, const std::string& message);
  };

  struct WriteCounters {
    std::atomic<std::uint64_t> accepted{0};
    std::atomic<std::uint64_t> refused{0};
  };

  class ApiHandler {
   public:
    ApiHandler(ControlSystem& controlSystem, const ServerOptions& options, WriteCounters& counters);

    /// True for targets below "/api/".
    static bool isApiTarget(const std::string& target);

    HttpResponse handle(const HttpRequest& request);

    /// Supplies the body of GET /api/stats.
    void setStatisticsProvider(std::function<std::string()> provider) { _statistics = std::move(provider); }

    /// The credentials of an Authorization header of the "Bearer" scheme (in any letter case),
    /// nullopt for another scheme or none.
    static std::optional<std::string_view> bearerToken(std::string_view authorization);
    /// Whether an Authorization header carries the server's token (false when it has none).
    bool holdsToken(const std::string& authorization) const;

   private:
    HttpResponse getValue(const std::string& path, const HttpRequest& request, const std::string& query);
    HttpResponse putValue(const std::string& path, const HttpRequest& request);
    void checkWriteAllowed(const HttpRequest& request) const;

    ControlSystem& _controlSystem;
    const ServerOptions& _options;
    WriteCounters& _counters;
    std::string _variableList;
    std::function<std::string()> _statistics;
  };

} // namespace Corvane::Cs
