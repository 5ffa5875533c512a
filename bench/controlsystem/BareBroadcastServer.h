// Baseline of the control-system benchmark: a bare Boost.Beast WebSocket server that sends the
// same bytes as the control-system server (header and 16384 floats) to every connected client,
// with the same one-message-in-flight, newest-wins policy per client, but without the framework,
// subscriptions or encoding. Whatever the control-system server adds shows as the difference.
#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace bench {

  class BareBroadcastServer {
   public:
    BareBroadcastServer() : _acceptor(_io, {boost::asio::ip::make_address("127.0.0.1"), 0}) {
      accept();
      _thread = std::thread([this] { _io.run(); });
    }
    ~BareBroadcastServer() {
      boost::asio::post(_io, [this] {
        boost::system::error_code ec;
        _acceptor.close(ec);
        for(auto& weak : _clients)
          if(auto client = weak.lock()) client->ws.next_layer().close(ec);
      });
      _thread.join();
    }

    unsigned short port() const { return _acceptor.local_endpoint().port(); }

    /// Sends `message` to every client (from any thread); a client still busy gets it later,
    /// replacing what it had not been sent yet.
    void broadcast(std::shared_ptr<const std::string> message) {
      boost::asio::post(_io, [this, message] {
        for(auto& weak : _clients)
          if(auto client = weak.lock()) client->offer(message);
      });
    }

   private:
    struct Client : std::enable_shared_from_this<Client> {
      explicit Client(boost::asio::ip::tcp::socket socket) : ws(std::move(socket)) {}
      boost::beast::websocket::stream<boost::asio::ip::tcp::socket> ws;
      boost::beast::flat_buffer readBuffer;
      std::shared_ptr<const std::string> pending, inFlight;
      bool open{false};

      void offer(std::shared_ptr<const std::string> message) {
        pending = std::move(message);
        pump();
      }
      void pump() {
        if(!open || inFlight || !pending) return;
        inFlight = std::move(pending);
        ws.binary(true);
        ws.async_write(boost::asio::buffer(*inFlight), [self = shared_from_this()](boost::beast::error_code ec, std::size_t) {
          self->inFlight.reset();
          if(ec) {
            self->open = false;
            return;
          }
          self->pump();
        });
      }
      void readLoop() {
        ws.async_read(readBuffer, [self = shared_from_this()](boost::beast::error_code ec, std::size_t) {
          if(ec) {
            self->open = false;
            return;
          }
          self->readBuffer.clear();
          self->readLoop();
        });
      }
    };

    void accept() {
      _acceptor.async_accept([this](boost::system::error_code ec, boost::asio::ip::tcp::socket socket) {
        if(ec) return;
        socket.set_option(boost::asio::ip::tcp::no_delay(true));
        auto client = std::make_shared<Client>(std::move(socket));
        _clients.push_back(client);
        client->ws.auto_fragment(false);
        client->ws.async_accept([client](boost::beast::error_code error) {
          if(error) return;
          client->open = true;
          client->readLoop();
        });
        accept();
      });
    }

    boost::asio::io_context _io;
    boost::asio::ip::tcp::acceptor _acceptor;
    std::vector<std::weak_ptr<Client>> _clients;
    std::thread _thread;
  };

} // namespace bench
