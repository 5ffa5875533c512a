// One WebSocket client of /api/ws: its subscriptions and its own latest-value buffer.
//
// Client messages (JSON text):
//   {"subscribe": "/path" | ["/path", "/directory", ...], "maxRate": 10}
//   {"unsubscribe": "/path" | [...]}
// A directory subscribes every variable below it. "maxRate" (updates per second and variable;
// optional, also as "?maxRate=" on the URL for the whole connection) limits how often a
// variable is sent; the newest value is sent once the interval has passed.
// Server messages:
//   {"type":"subscribed","paths":[...]}, {"type":"unsubscribed","paths":[...]},
//   {"type":"error","message":"..."}
//   updates of scalars and string arrays as JSON text:
//     {"type":"update","path":...,"value":...,"valid":true,"version":...,"time":"...","skipped":n}
//   updates of numeric and Boolean arrays as one binary message:
//     bytes 0..3   header length H, uint32 little-endian
//     bytes 4..4+H header, JSON text padded with spaces so that 4+H is a multiple of 8:
//                  {"type":"update","path","dataType","nElements","valid","version","time","skipped"}
//     then         the elements, little-endian (see ValueCodec)
// "skipped" counts the values of that variable this client did not get since its previous
// update: each subscription keeps only the newest unsent value, so a slow client never holds
// up anyone, and a client that stops reading is disconnected after the idle timeout.
// A connection subscribed to nothing for ServerOptions::unsubscribedTimeout is closed with code
// 1008 (it holds a connection that others may need); at shutdown every client gets a close
// frame with code 1001. A closing handshake that the client does not complete within
// closeTimeout ends with the socket closed.
#pragma once

#include "ServerState.h"
#include "UpdateHub.h"

#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

namespace Corvane::Cs {

  class WebSocketSession : public Session, public Subscriber, public std::enable_shared_from_this<WebSocketSession> {
   public:
    static constexpr std::chrono::milliseconds closeTimeout{1000};

    WebSocketSession(boost::beast::tcp_stream&& stream, std::shared_ptr<ServerState> state, std::string remote,
        ConnectionAdmission::Slot slot);
    ~WebSocketSession() override;

    /// Completes the handshake of the upgrade request and starts serving.
    void start(boost::beast::http::request<boost::beast::http::string_body> request);

    void offer(std::size_t variableIndex, const SharedValue& value) override;
    /// Sends a close frame (1001 going away at shutdown, else 1008) and closes the connection
    /// (network thread).
    void close() override;
    void describe(std::string& out) const override;

   private:
    using Clock = std::chrono::steady_clock;

    struct Subscription {
      /// the newest value not sent yet; empty when there is none
      SharedValue pending;
      std::uint64_t lastSentSequence{0};
      Clock::duration minInterval{0};
      Clock::time_point nextAllowed{};
      bool inReady{false};
      bool waiting{false};
    };

    void onAccept(boost::beast::error_code ec);
    void readNext();
    void onRead(boost::beast::error_code ec, std::size_t bytes);
    void handleMessage(const std::string& text);
    void subscribe(const std::vector<std::string>& paths, Clock::duration minInterval);
    void unsubscribe(const std::vector<std::string>& paths);
    void sendControl(std::string message);
    void sendError(const std::string& message);
    void pump();
    void sendUpdate(std::size_t index, Subscription& subscription);
    void onWrite(boost::beast::error_code ec, std::size_t bytes);
    void armTimer();
    void onTimer();
    void watchForNoSubscription();
    /// Lets go of the subscriptions and starts the closing handshake (bounded by closeTimeout).
    void closeWith(boost::beast::websocket::close_reason reason);
    void sendClose();
    void releaseSubscriptions();
    void finish();
    /// Drops a client that stopped reading, with a warning that says what it lost.
    void dropStalled(const std::string& why);

    boost::beast::websocket::stream<boost::beast::tcp_stream> _ws;
    std::shared_ptr<ServerState> _state;
    std::string _remote;
    ConnectionAdmission::Slot _slot;
    std::uint64_t _id;
    boost::beast::flat_buffer _readBuffer;
    boost::asio::steady_timer _timer;
    /// waits for a subscription, and bounds the closing handshake
    boost::asio::steady_timer _lifeTimer;
    boost::beast::websocket::close_reason _closeReason;
    Clock::time_point _timerAt{Clock::time_point::max()};
    Clock::duration _defaultInterval{0};

    std::unordered_map<std::size_t, Subscription> _subscriptions;
    std::deque<std::size_t> _ready;
    std::multimap<Clock::time_point, std::size_t> _waiting;
    std::deque<std::string> _control;

    bool _accepted{false};
    bool _finished{false};
    bool _closing{false};
    bool _writing{false};
    std::string _outText;
    std::string _outHeader;
    /// the value being written, kept until the write completes (a binary update sends its bytes)
    SharedValue _inFlight;

    std::uint64_t _sent{0};
    std::uint64_t _skipped{0};
    /// values replaced in this client's buffer before they could be sent
    std::uint64_t _overwritten{0};
  };

} // namespace Corvane::Cs
