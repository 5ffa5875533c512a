#include "ServerImpl.h"

#include "HttpSession.h"

#include <Corvane/Exception.h>
#include <Corvane/FileDescriptor.h>
#include <Corvane/Logger.h>

#include <boost/asio/post.hpp>

namespace Corvane::Cs {

  namespace net = boost::asio;
  using tcp = net::ip::tcp;

  namespace {
    std::shared_ptr<ServerState> makeState(ServerOptions options) {
      return std::make_shared<ServerState>(std::move(options));
    }
  } // namespace

  Server::Impl::Impl(ControlSystem& controlSystem, ServerOptions options)
  : _state(makeState(std::move(options))), _hub(controlSystem, _io), _api(controlSystem, _state->options, _state->writes),
    _files(_state->options.webRoot, _state->options.plotLibraryDir), _acceptor(*_io) {
    auto where = _state->options.address + ":" + std::to_string(_state->options.port);
    try {
      tcp::endpoint endpoint(net::ip::make_address(_state->options.address), _state->options.port);
      _acceptor.open(endpoint.protocol());
      markCloseOnExec(_acceptor.native_handle()); // Boost.Asio's sockets are inherited otherwise
      _acceptor.set_option(net::socket_base::reuse_address(true));
      _acceptor.bind(endpoint);
      _acceptor.listen(net::socket_base::max_listen_connections);
      _port = _acceptor.local_endpoint().port();
    }
    catch(boost::system::system_error& e) {
      throw runtime_error("cannot listen on " + where + ": " + e.code().message());
    }
    _state->hub = &_hub;
    _state->api = &_api;
    _state->files = &_files;
    _api.setStatisticsProvider([this] { return statisticsDocument(); });
  }

  Server::Impl::~Impl() { stop(); }

  void Server::Impl::start() {
    if(_started) return;
    _started = true;
    _hub.attach();
    accept();
    std::promise<void> ended;
    _ended = ended.get_future();
    _thread = std::thread([this, ended = std::move(ended)]() mutable {
      try {
        _io->run();
      }
      catch(std::exception& e) {
        logger(Logger::Severity::error, "ControlSystemServer") << "network thread ended: " << e.what();
      }
      ended.set_value();
    });
  }

  void Server::Impl::accept() {
    _acceptor.async_accept([this](boost::system::error_code ec, tcp::socket socket) {
      if(ec == net::error::operation_aborted || _state->stopping) return;
      if(!ec) {
        markCloseOnExec(socket.native_handle());
        std::make_shared<HttpSession>(std::move(socket), _state)->start();
      }
      accept();
    });
  }

  void Server::Impl::stop() {
    if(_stopped) return;
    _stopped = true;
    // from here on no listener reaches the network side
    _hub.detach();
    if(!_started) return;
    std::promise<void> closed;
    net::post(*_io, [this, &closed] {
      _state->stopping = true;
      boost::system::error_code ignored;
      _acceptor.close(ignored);
      auto sessions = _state->sessions;
      for(auto& [pointer, weak] : sessions)
        if(auto session = weak.lock()) session->close();
      closed.set_value();
    });
    closed.get_future().wait();
    // the closed sockets' handlers finish at once and the thread runs out of work; the bound
    // keeps anything unforeseen from holding the shutdown
    if(_ended.wait_for(std::chrono::seconds(2)) != std::future_status::ready) _io->stop();
    _thread.join();
    _state->hub = nullptr;
  }

  ServerStatistics Server::Impl::statistics() {
    ServerStatistics result;
    if(_started && !_stopped) {
      std::promise<void> done;
      net::post(*_io, [&] {
        result.connections = _state->admission.served() + _state->admission.onProbation();
        result.webSocketClients = _state->webSocketClients;
        done.set_value();
      });
      done.get_future().wait();
    }
    result.updatesSent = _state->updatesSent.load();
    result.updatesSkipped = _state->updatesSkipped.load();
    result.writesAccepted = _state->writes.accepted.load();
    result.writesRefused = _state->writes.refused.load();
    return result;
  }

  std::string Server::Impl::statisticsDocument() const {
    auto connections = _state->admission.served() + _state->admission.onProbation();
    std::string out = "{\"connections\":" + std::to_string(connections) +
        ",\"webSocketClients\":" + std::to_string(_state->webSocketClients) +
        ",\"updatesSent\":" + std::to_string(_state->updatesSent.load()) +
        ",\"updatesSkipped\":" + std::to_string(_state->updatesSkipped.load()) +
        ",\"writesAccepted\":" + std::to_string(_state->writes.accepted.load()) +
        ",\"writesRefused\":" + std::to_string(_state->writes.refused.load()) + ",\"clients\":[";
    bool first = true;
    for(auto& [pointer, weak] : _state->sessions) {
      auto session = weak.lock();
      if(!session) continue;
      std::string description;
      session->describe(description);
      if(description.empty()) continue;
      if(!first) out += ',';
      first = false;
      out += description;
    }
    return out + "]}";
  }

  Server::Server(ControlSystem& controlSystem, ServerOptions options)
  : _impl(std::make_shared<Impl>(controlSystem, std::move(options))) {}

  Server::~Server() { stop(); }

  void Server::start() { _impl->start(); }
  void Server::stop() { _impl->stop(); }
  std::uint16_t Server::port() const { return _impl->port(); }
  const ServerOptions& Server::options() const { return _impl->options(); }
  ServerStatistics Server::statistics() const { return _impl->statistics(); }

} // namespace Corvane::Cs
