// Settings of the control-system server: where it listens, who may write, and the bounds that
// keep any client from taking more than its share.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace Corvane::Cs {

  struct ServerOptions {
    /// Listening address and port; port 0 picks a free port (see Server::port()).
    std::string address{"127.0.0.1"};
    std::uint16_t port{8680};

    /// When not empty, every write must carry "Authorization: Bearer <token>".
    std::string token;
    /// Refuses every write.
    bool readOnly{false};

    /// Connections (HTTP and WebSocket together); further ones are answered 503 and closed.
    std::size_t maxConnections{64};
    /// Of maxConnections, those kept for clients on loopback and clients that carry the token.
    std::size_t reservedConnections{8};
    /// Connections one client address (other than loopback) may hold of the shared ones.
    /// See ConnectionAdmission for the whole rule.
    std::size_t maxConnectionsPerAddress{16};
    /// Variables one WebSocket client may be subscribed to at once.
    std::size_t maxSubscriptionsPerClient{20000};
    /// Bytes of an HTTP request's header and body, and of one WebSocket message from a client.
    std::size_t maxHeaderBytes{16 * 1024};
    std::size_t maxBodyBytes{8 * 1024 * 1024};
    std::size_t maxClientMessageBytes{64 * 1024};
    /// A connection that neither sends nor takes anything for this long is closed.
    std::chrono::seconds idleTimeout{30};
    /// A WebSocket connection subscribed to nothing for this long is closed (close code 1008),
    /// also when the client answers the server's pings.
    std::chrono::milliseconds unsubscribedTimeout{30000};

    /// Name of the application instance (the station), shown by the operator page and listed
    /// with the variables.
    std::string applicationName;

    /// Directory of the operator page (index.html, app.js, style.css) and of the plotting
    /// library's distribution files, served below "/vendor/uplot/".
    std::filesystem::path webRoot;
    std::filesystem::path plotLibraryDir;
  };

} // namespace Corvane::Cs
