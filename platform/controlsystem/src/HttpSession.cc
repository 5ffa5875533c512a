#include "HttpSession.h"

#include "Corvane/Cs/RequestError.h"

#include "StaticFiles.h"
#include "WebSocketSession.h"

#include <boost/beast/websocket.hpp>

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

  } // namespace

  HttpSession::HttpSession(boost::asio::ip::tcp::socket&& socket, std::shared_ptr<ServerState> state)
  : _stream(std::move(socket)), _state(std::move(state)) {
    beast::error_code ec;
    auto endpoint = _stream.socket().remote_endpoint(ec);
    if(!ec) _remote = endpoint.address().to_string() + ":" + std::to_string(endpoint.port());
    _stream.socket().set_option(boost::asio::ip::tcp::no_delay(true), ec);
  }

  void HttpSession::start() {
    ++_state->connections;
    _counted = true;
    _state->add(shared_from_this());
    readRequest();
  }

  void HttpSession::refuse() {
    auto answer = HttpResponse::error(503, "too many connections (at most " + std::to_string(_state->options.maxConnections) + ")");
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
    _stream.expires_after(_state->options.idleTimeout);
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
    if(beast::websocket::is_upgrade(request)) {
      auto path = ApiHandler::splitTarget(target).first;
      if(path != "/api/ws") {
        respond(makeResponse(HttpResponse::error(404, "WebSocket connections are served at /api/ws only"), request.version(), false));
        return;
      }
      // the connection now belongs to the WebSocket session (and stays counted there)
      _finished = true;
      _state->remove(this);
      auto session = std::make_shared<WebSocketSession>(std::move(_stream), _state, _remote);
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
        file = _state->files->get(ApiHandler::splitTarget(target).first);
      }
      catch(RequestError& e) {
        file = HttpResponse::error(e.status(), e.what());
      }
      answer = file ? std::move(*file) : HttpResponse::error(404, "no such page: " + target);
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
    if(_counted) --_state->connections;
  }

} // namespace Corvane::Cs
