#include "Corvane/Cs/HttpClient.h"

#include <Corvane/Exception.h>
#include <Corvane/FileDescriptor.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

namespace Corvane::Cs {

  namespace beast = boost::beast;
  namespace http = beast::http;
  using tcp = boost::asio::ip::tcp;

  struct HttpClient::Connection {
    boost::asio::io_context io;
    beast::tcp_stream stream{io};
    beast::flat_buffer buffer;
  };

  std::string HttpClient::Response::header(const std::string& name) const {
    for(auto& [key, value] : headers)
      if(beast::iequals(key, name)) return value;
    return {};
  }

  HttpClient::HttpClient(std::string host, std::uint16_t port, std::chrono::milliseconds timeout)
  : _host(std::move(host)), _port(port), _timeout(timeout) {}

  HttpClient::~HttpClient() = default;

  void HttpClient::disconnect() { _connection.reset(); }

  HttpClient::Response HttpClient::request(const std::string& method, const std::string& target, const std::string& body,
      const std::string& contentType, const std::string& authorization) {
    bool fresh = !_connection;
    try {
      return attempt(method, target, body, contentType, authorization);
    }
    catch(boost::system::system_error& e) {
      _connection.reset();
      if(fresh) throw runtime_error("server " + where() + ": " + e.code().message());
    }
    // a kept-alive connection the server had closed: once more on a new one
    try {
      return attempt(method, target, body, contentType, authorization);
    }
    catch(boost::system::system_error& e) {
      _connection.reset();
      throw runtime_error("server " + where() + ": " + e.code().message());
    }
  }

  HttpClient::Response HttpClient::attempt(const std::string& method, const std::string& target, const std::string& body,
      const std::string& contentType, const std::string& authorization) {
    // asynchronous operations run to completion here, so that the stream's time limit applies
    auto complete = [this](boost::asio::io_context& io, auto start) {
      beast::error_code ec;
      start([&ec](beast::error_code e, auto&&...) { ec = e; });
      io.restart();
      io.run();
      if(ec) throw boost::system::system_error(ec);
    };
    if(!_connection) {
      auto connection = std::make_unique<Connection>();
      tcp::resolver resolver(connection->io);
      auto endpoints = resolver.resolve(_host, std::to_string(_port));
      connection->stream.expires_after(_timeout);
      complete(connection->io, [&](auto handler) { connection->stream.async_connect(endpoints, handler); });
      connection->stream.socket().set_option(tcp::no_delay(true));
      markCloseOnExec(connection->stream.socket().native_handle()); // Boost.Asio leaves it inheritable
      _connection = std::move(connection);
    }
    auto& c = *_connection;
    http::request<http::string_body> request{http::string_to_verb(method), target, 11};
    request.set(http::field::host, _host);
    request.keep_alive(true);
    if(!contentType.empty()) request.set(http::field::content_type, contentType);
    if(!authorization.empty()) request.set(http::field::authorization, authorization);
    request.body() = body;
    request.prepare_payload();
    http::response_parser<http::string_body> parser;
    parser.body_limit(256 * 1024 * 1024);
    c.stream.expires_after(_timeout);
    complete(c.io, [&](auto handler) { http::async_write(c.stream, request, handler); });
    complete(c.io, [&](auto handler) { http::async_read(c.stream, c.buffer, parser, handler); });
    auto& message = parser.get();
    Response response;
    response.status = static_cast<int>(message.result_int());
    for(auto& field : message) response.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    response.body = std::move(message.body());
    if(!message.keep_alive()) _connection.reset();
    return response;
  }

} // namespace Corvane::Cs
