// A small synchronous HTTP/1.1 client for one server, with a kept-alive connection and a bound
// on every request: what the "zorbel" device backend uses to reach another control-system server.
// Not thread-safe; the caller serialises requests.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Corvane::Cs {

  class HttpClient {
   public:
    struct Response {
      int status{0};
      std::string body;
      std::vector<std::pair<std::string, std::string>> headers;
      std::string header(const std::string& name) const;
    };

    HttpClient(std::string host, std::uint16_t port, std::chrono::milliseconds timeout);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    /// Sends a request (connecting first when needed, once more on a dropped kept-alive
    /// connection). Corvane::runtime_error when the server cannot be reached or does not answer
    /// in time; any HTTP status is returned.
    Response request(const std::string& method, const std::string& target, const std::string& body = {},
        const std::string& contentType = {}, const std::string& authorization = {});

    void disconnect();
    std::string where() const { return _host + ":" + std::to_string(_port); }

   private:
    struct Connection;
    Response attempt(const std::string& method, const std::string& target, const std::string& body,
        const std::string& contentType, const std::string& authorization);

    std::string _host;
    std::uint16_t _port;
    std::chrono::milliseconds _timeout;
    std::unique_ptr<Connection> _connection;
  };

} // namespace Corvane::Cs
