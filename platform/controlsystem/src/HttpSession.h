// One HTTP connection: takes a connection slot (see ConnectionAdmission), reads requests
// (bounded header and body), answers them through the API or the static files, keeps the
// connection alive, and hands it with its slot to a WebSocketSession when a client upgrades on
// /api/ws with a well-formed handshake.
#pragma once

#include "ServerState.h"

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <memory>
#include <optional>
#include <string>

namespace Corvane::Cs {

  class HttpSession : public Session, public std::enable_shared_from_this<HttpSession> {
   public:
    HttpSession(boost::asio::ip::tcp::socket&& socket, std::shared_ptr<ServerState> state);

    /// Serves the connection, or answers 503 and closes it when it gets no slot.
    void start();
    void close() override;
    void describe(std::string&) const override {}

   private:
    /// Answers 503 and closes: the server has no room for another connection of this client.
    void refuse(const std::string& message);
    std::string refusalMessage(ConnectionAdmission::Verdict verdict) const;
    void readRequest();
    void onRead(boost::beast::error_code ec, std::size_t bytes);
    void respond(boost::beast::http::response<boost::beast::http::string_body> response);
    void onWrite(bool keepAlive, boost::beast::error_code ec, std::size_t bytes);
    void finish();

    boost::beast::tcp_stream _stream;
    std::shared_ptr<ServerState> _state;
    std::string _remote;  ///< address and port
    std::string _address; ///< address alone
    bool _loopback{false};
    ConnectionAdmission::Slot _slot;
    /// the refusal a client on probation gets without the token
    ConnectionAdmission::Verdict _refusalUnlessToken{ConnectionAdmission::Verdict::serverFull};
    boost::beast::flat_buffer _buffer;
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> _parser;
    std::shared_ptr<boost::beast::http::response<boost::beast::http::string_body>> _response;
    bool _finished{false};
  };

} // namespace Corvane::Cs
