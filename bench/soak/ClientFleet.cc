#include "ClientFleet.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include <sys/socket.h>

namespace soak {

  namespace {
    namespace net = boost::asio;
    namespace beast = boost::beast;
    namespace websocket = beast::websocket;
    using tcp = net::ip::tcp;
    using Clock = std::chrono::steady_clock;

    /// What readers subscribe to, by index: like the operator page (everything, at most 10 Hz), a
    /// plot of the vector sum with the server's counters at full rate, one board at full rate.
    const char* const readerSubscriptions[] = {R"({"subscribe":"/","maxRate":10})",
        R"({"subscribe":["/ForwardVectorSum","/Server"]})", R"({"subscribe":"/AdcBoard0"})"};
    const char* const stallerSubscription = R"({"subscribe":"/"})";

    /// A small deterministic generator (xorshift32), one state per client thread.
    double uniform(std::uint32_t& state, double low, double high) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      return low + (high - low) * (double(state) / 4294967296.0);
    }

    /// The number after "skipped": in `text`, or 0.
    std::uint64_t skippedIn(std::string_view text) {
      auto at = text.rfind("\"skipped\":");
      if(at == std::string_view::npos) return 0;
      return std::strtoull(std::string(text.substr(at + 10, 20)).c_str(), nullptr, 10);
    }
  } // namespace

  /// One WebSocket connection of a client; counts what happens to it in the fleet's counters.
  class ClientFleet::Session {
   public:
    explicit Session(ClientFleet& fleet) : _fleet(fleet), _ws(_io) {}
    ~Session() { drop(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool open(const std::string& subscription) {
      try {
        auto& socket = _ws.next_layer();
        socket.open(tcp::v4());
        {
          std::lock_guard lock(_fleet._socketsMutex);
          if(!_fleet._running) return false;
          _fleet._sockets.insert(socket.native_handle());
          _registered = true;
        }
        socket.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), _fleet._options.port));
        {
          // a stop() before the connection was made could not shut it down: look again
          std::lock_guard lock(_fleet._socketsMutex);
          if(!_fleet._running) throw std::runtime_error("stopped");
        }
        _ws.read_message_max(64 * 1024 * 1024);
        _ws.handshake("127.0.0.1", "/api/ws");
        _ws.write(net::buffer(subscription));
        _isOpen = true;
        ++_fleet._counters.connections;
        ++_fleet._counters.open;
        return true;
      }
      catch(std::exception&) {
        if(_fleet._running) ++_fleet._counters.refused;
        drop();
        return false;
      }
    }

    /// Reads one message; false when the connection ended (counted as a drop while the fleet runs).
    bool readOne() {
      _buffer.clear();
      beast::error_code ec;
      _ws.read(_buffer, ec);
      if(ec) {
        if(_fleet._running) ++_fleet._counters.droppedByServer;
        drop();
        return false;
      }
      auto data = static_cast<const char*>(_buffer.data().data());
      std::string_view text(data, _buffer.size());
      if(!_ws.got_text()) {
        // binary update: 4 bytes of header length, the JSON header, the elements
        std::uint32_t length = 0;
        if(text.size() >= 4) std::memcpy(&length, data, 4);
        text = text.substr(4, std::min<std::size_t>(length, text.size() - std::min<std::size_t>(4, text.size())));
      }
      if(text.find("\"type\":\"update\"") != std::string_view::npos) {
        ++_fleet._counters.updates;
        _fleet._counters.skippedReported += skippedIn(text);
      }
      else if(text.find("\"type\":\"error\"") != std::string_view::npos) {
        ++_fleet._counters.errorMessages;
      }
      return true;
    }

    /// Drops the connection without a WebSocket close, as a killed client would.
    void vanish() {
      if(!_isOpen) return;
      ++_fleet._counters.vanished;
      drop();
    }

    void close() {
      if(!_isOpen) return;
      beast::error_code ec;
      _ws.close(websocket::close_code::normal, ec);
      ++_fleet._counters.closed;
      drop();
    }

    bool isOpen() const { return _isOpen; }

   private:
    void drop() {
      std::lock_guard lock(_fleet._socketsMutex);
      auto& socket = _ws.next_layer();
      if(_registered) _fleet._sockets.erase(socket.native_handle());
      _registered = false;
      boost::system::error_code ec;
      socket.close(ec);
      if(_isOpen) --_fleet._counters.open;
      _isOpen = false;
    }

    ClientFleet& _fleet;
    net::io_context _io;
    websocket::stream<tcp::socket> _ws;
    beast::flat_buffer _buffer;
    bool _registered{false};
    bool _isOpen{false};
  };

  ClientFleet::ClientFleet(FleetOptions options) : _options(options) {}

  ClientFleet::~ClientFleet() { stop(); }

  void ClientFleet::start() {
    if(_running.exchange(true)) return;
    for(unsigned i = 0; i < _options.readers; ++i) _threads.emplace_back([this, i] { run(Role::reader, i); });
    for(unsigned i = 0; i < _options.churners; ++i) _threads.emplace_back([this, i] { run(Role::churner, i); });
    for(unsigned i = 0; i < _options.stallers; ++i) _threads.emplace_back([this, i] { run(Role::staller, i); });
  }

  void ClientFleet::stop() {
    {
      std::lock_guard lock(_socketsMutex);
      if(!_running.exchange(false) && _threads.empty()) return;
      // wakes every blocked read or write; the clients then close their sockets themselves
      for(int fd : _sockets) ::shutdown(fd, SHUT_RDWR);
    }
    for(auto& thread : _threads) thread.join();
    _threads.clear();
  }

  FleetCounts ClientFleet::counts() const {
    FleetCounts c;
    c.connections = _counters.connections;
    c.refused = _counters.refused;
    c.vanished = _counters.vanished;
    c.closed = _counters.closed;
    c.stalls = _counters.stalls;
    c.droppedByServer = _counters.droppedByServer;
    c.updates = _counters.updates;
    c.skippedReported = _counters.skippedReported;
    c.errorMessages = _counters.errorMessages;
    c.open = _counters.open;
    return c;
  }

  bool ClientFleet::pause(double seconds) const {
    auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while(_running && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return _running;
  }

  void ClientFleet::run(Role role, unsigned index) {
    std::uint32_t random = _options.seed * 2654435761u + static_cast<std::uint32_t>(role) * 7919u + index * 104729u + 1u;
    while(_running) {
      Session session(*this);
      switch(role) {
        case Role::reader:
          if(session.open(readerSubscriptions[index % std::size(readerSubscriptions)])) runReader(session);
          break;
        case Role::churner: runChurner(session, random); break;
        case Role::staller: runStaller(session, random); break;
      }
      // a refused or dropped client tries again a little later
      if(!session.isOpen()) pause(role == Role::reader ? 0.2 : uniform(random, 0.0, 0.5));
    }
  }

  void ClientFleet::runReader(Session& session) {
    while(_running && session.readOne()) {
    }
  }

  void ClientFleet::runChurner(Session& session, std::uint32_t& random) {
    auto subscription = readerSubscriptions[static_cast<std::size_t>(uniform(random, 0, 3)) % 3];
    if(!session.open(subscription)) return;
    auto end = Clock::now() + std::chrono::milliseconds(static_cast<int>(uniform(random, 200, 3000)));
    while(Clock::now() < end)
      if(!_running || !session.readOne()) return;
    if(uniform(random, 0, 1) < 0.5) session.vanish();
    else session.close();
  }

  void ClientFleet::runStaller(Session& session, std::uint32_t& random) {
    if(!session.open(stallerSubscription)) return;
    // true when the time passed with the connection open and the fleet running
    auto readFor = [&](double seconds) {
      auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
      while(Clock::now() < end)
        if(!_running || !session.readOne()) return false;
      return true;
    };
    if(!readFor(1.0)) return;
    ++_counters.stalls;
    if(!pause(uniform(random, 2.0, std::max(2.0, _options.maxStallSeconds)))) return;
    // some read on first (and so find out whether the server gave up on them)
    if(uniform(random, 0, 1) < 0.5 && !readFor(1.0)) return;
    session.vanish();
  }

} // namespace soak
