#include "HttpSession.h"

#include "Corvane/Cs/RequestError.h"
#include "Corvane/Cs/Url.h"

#include "StaticFiles.h"
#include "WebSocketSession.h"

#include <boost/beast/websocket.hpp>

#include <algorithm>
#include <string_view>

namespace Corvane::Cs {

  namespace beast = boost::beast;
  namespace http = beast::http;

  namespace {
    http::response<http::string_body> makeResponse(const HttpResponse& answer, unsigned version, bool keepAlive) {
      http::response<http::string_body> response{static_cast<http::status>(answer.status), version};
      response.set(http::field::server, "corvane-cs");
      response.set(http::field::content_type, answer.contentType);
      for(auto& [name, value] : answer.headers) response.set(name, value);
      response.keep_alive(keepAlive);
      response.body() = answer.body;
      response.prepare_payload();
      return response;
    }

    /// A Sec-WebSocket-Key is the base64 form of 16 bytes: 22 characters of the alphabet and "==".
    bool isWellFormedWebSocketKey(std::string_view key) {
      auto isBase64 = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
      };
      return key.size() == 24 && key.ends_with("==") && std::all_of(key.begin(), key.begin() + 22, isBase64);
    }

  } // namespace

  HttpSession::HttpSession(boost::asio::ip::tcp::socket&& socket, std::shared_ptr<ServerState> state)
  : _stream(std::move(socket)), _state(std::move(state)) {
    beast::error_code ec;
    auto endpoint = _stream.socket().remote_endpoint(ec);
    if(!ec) {
      auto address = endpoint.address();
      // a listener on "::" sees IPv4 clients as ::ffff:a.b.c.d
      if(address.is_v6() && address.to_v6().is_v4_mapped()) {
        address = boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6());
      }
      _address = address.to_string();
      _loopback = address.is_loopback();
      _remote = _address + ":" + std::to_string(endpoint.port());
    }
    else {
      _address = "(unknown)";
    }
    _stream.socket().set_option(boost::asio::ip::tcp::no_delay(true), ec);
  }

  std::string HttpSession::refusalMessage(ConnectionAdmission::Verdict verdict) const {
    const auto& limits = _state->admission.limits();
    if(verdict == ConnectionAdmission::Verdict::addressFull) {
      return "too many connections from " + _address + " (at most " + std::to_string(limits.maxConnectionsPerAddress) +
          " per address; requests with the token may use the reserved ones)";
    }
    return "too many connections (at most " + std::to_string(limits.maxConnections) + ", the last " +
        std::to_string(limits.reservedConnections) + " for loopback clients and requests with the token)";
  }

  void HttpSession::start() {
    auto decision = _state->admission.admit(_address, _loopback);
    if(decision.verdict == ConnectionAdmission::Verdict::addressFull ||
        decision.verdict == ConnectionAdmission::Verdict::serverFull) {
      refuse(refusalMessage(decision.verdict));
      return;
    }
    _refusalUnlessToken = decision.unlessToken;
    _slot = std::move(decision.slot);
    _state->add(shared_from_this());
    readRequest();
  }

  void HttpSession::refuse(const std::string& message) {
    auto answer = HttpResponse::error(503, message);
    _response = std::make_shared<http::response<http::string_body>>(makeResponse(answer, 11, false));
    _stream.expires_after(std::chrono::seconds(5));
    http::async_write(_stream, *_response, [self = shared_from_this()](beast::error_code, std::size_t) {
      beast::error_code ignored;
      self->_stream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
      self->_stream.close();
    });
  }

  void HttpSession::readRequest() {
    _parser.emplace();
    _parser->header_limit(static_cast<std::uint32_t>(_state->options.maxHeaderBytes));
    _parser->body_limit(_state->options.maxBodyBytes);
    auto timeout = std::chrono::duration_cast<std::chrono::steady_clock::duration>(_state->options.idleTimeout);
    if(_slot.onProbation()) {
      timeout = std::min<std::chrono::steady_clock::duration>(timeout, ConnectionAdmission::probationTimeout);
    }
    _stream.expires_after(timeout);
    http::async_read(_stream, _buffer, *_parser, [self = shared_from_this()](beast::error_code ec, std::size_t n) {
      self->onRead(ec, n);
    });
  }

  void HttpSession::onRead(beast::error_code ec, std::size_t) {
    if(_finished) return;
    if(ec == http::error::end_of_stream || ec == beast::error::timeout || ec == boost::asio::error::operation_aborted) {
      finish();
      return;
    }
    if(ec == http::error::body_limit || ec == http::error::header_limit) {
      auto answer = HttpResponse::error(413, ec == http::error::body_limit
              ? "request body larger than " + std::to_string(_state->options.maxBodyBytes) + " bytes"
              : "request header larger than " + std::to_string(_state->options.maxHeaderBytes) + " bytes");
      auto response = makeResponse(answer, 11, false);
      respond(std::move(response));
      return;
    }
    if(ec) {
      // malformed request: say so if the connection still takes it, then close
      auto response = makeResponse(HttpResponse::error(400, "malformed HTTP request: " + ec.message()), 11, false);
      respond(std::move(response));
      return;
    }
    auto request = _parser->release();
    std::string target(request.target());
    if(_slot.onProbation()) {
      // only a client with the token may take a reserved connection
      bool withToken = _state->api->holdsToken(std::string(request[http::field::authorization]));
      if(!withToken || !_slot.confirm()) {
        auto verdict = withToken ? ConnectionAdmission::Verdict::serverFull : _refusalUnlessToken;
        respond(makeResponse(HttpResponse::error(503, refusalMessage(verdict)), request.version(), false));
        return;
      }
    }
    if(beast::websocket::is_upgrade(request)) {
      auto path = Url::splitTarget(target).first;
      if(path != "/api/ws") {
        respond(makeResponse(HttpResponse::error(404, "WebSocket connections are served at /api/ws only"), request.version(), false));
        return;
      }
      if(!isWellFormedWebSocketKey(std::string(request[http::field::sec_websocket_key]))) {
        auto answer = HttpResponse::error(400, "malformed Sec-WebSocket-Key: the base64 form of 16 bytes is expected");
        respond(makeResponse(answer, request.version(), false));
        return;
      }
      // the connection now belongs to the WebSocket session, and so does its slot
      _finished = true;
      _state->remove(this);
      auto session = std::make_shared<WebSocketSession>(std::move(_stream), _state, _remote, std::move(_slot));
      _state->add(session);
      session->start(std::move(request));
      return;
    }

    HttpResponse answer;
    if(ApiHandler::isApiTarget(target)) {
      HttpRequest parsed;
      parsed.method = std::string(request.method_string());
      parsed.target = target;
      parsed.authorization = std::string(request[http::field::authorization]);
      parsed.accept = std::string(request[http::field::accept]);
      parsed.contentType = std::string(request[http::field::content_type]);
      parsed.body = std::move(request.body());
      answer = _state->api->handle(parsed);
    }
    else if(request.method() != http::verb::get && request.method() != http::verb::head) {
      answer = HttpResponse::error(405, "only GET is served outside /api/");
    }
    else {
      std::optional<HttpResponse> file;
      try {
        file = _state->files->get(Url::splitTarget(target).first);
      }
      catch(RequestError& e) {
        file = HttpResponse::error(e.status(), e.what());
      }
      answer = file ? std::move(*file) : HttpResponse::error(404, "no such page: " + RequestError::excerpt(target));
    }
    auto response = makeResponse(answer, request.version(), request.keep_alive());
    if(request.method() == http::verb::head) response.body().clear();
    respond(std::move(response));
  }

  void HttpSession::respond(http::response<http::string_body> response) {
    bool keepAlive = response.keep_alive();
    _response = std::make_shared<http::response<http::string_body>>(std::move(response));
    _stream.expires_after(_state->options.idleTimeout);
    http::async_write(_stream, *_response, [self = shared_from_this(), keepAlive](beast::error_code ec, std::size_t n) {
      self->onWrite(keepAlive, ec, n);
    });
  }

  void HttpSession::onWrite(bool keepAlive, beast::error_code ec, std::size_t) {
    _response.reset();
    if(ec || !keepAlive || _state->stopping) {
      beast::error_code ignored;
      _stream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
      finish();
      return;
    }
    readRequest();
  }

  void HttpSession::close() { finish(); }

  void HttpSession::finish() {
    if(_finished) return;
    _finished = true;
    _stream.close();
    _state->remove(this);
    _slot.release();
  }

} // namespace Corvane::Cs
