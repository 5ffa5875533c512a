// Inside of Server: the network thread, the listening socket and what the sessions share.
#pragma once

#include "Corvane/Cs/Server.h"

#include "ServerState.h"
#include "StaticFiles.h"
#include "UpdateHub.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <future>
#include <thread>

namespace Corvane::Cs {

  class Server::Impl {
   public:
    Impl(ControlSystem& controlSystem, ServerOptions options);
    ~Impl();

    void start();
    void stop();
    std::uint16_t port() const { return _port; }
    const ServerOptions& options() const { return _state->options; }
    ServerStatistics statistics();

   private:
    void accept();
    std::string statisticsDocument() const;

    // the io_context goes last: handlers it still holds may refer to everything else (the update
    // hub's listeners share it, see UpdateHub.cc)
    std::shared_ptr<boost::asio::io_context> _io{std::make_shared<boost::asio::io_context>()};
    std::shared_ptr<ServerState> _state;
    UpdateHub _hub;
    ApiHandler _api;
    StaticFiles _files;
    boost::asio::ip::tcp::acceptor _acceptor;
    std::uint16_t _port{0};
    std::thread _thread;
    std::future<void> _ended;
    bool _started{false};
    bool _stopped{false};
  };

} // namespace Corvane::Cs
