// One HTTP connection: reads requests (bounded header and body), answers them through the API
// or the static files, keeps the connection alive, and hands it to a WebSocketSession when a
// client upgrades on /api/ws.
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

    void start();
    /// Answers 503 and closes: the server has no room for another connection.
    void refuse();
    void close() override;
    void describe(std::string&) const override {}

   private:
    void readRequest();
    void onRead(boost::beast::error_code ec, std::size_t bytes);
    void respond(boost::beast::http::response<boost::beast::http::string_body> response);
    void onWrite(bool keepAlive, boost::beast::error_code ec, std::size_t bytes);
    void finish();

    boost::beast::tcp_stream _stream;
    std::shared_ptr<ServerState> _state;
    std::string _remote;
    boost::beast::flat_buffer _buffer;
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> _parser;
    std::shared_ptr<boost::beast::http::response<boost::beast::http::string_body>> _response;
    bool _finished{false};
    bool _counted{false};
  };

} // namespace Corvane::Cs
