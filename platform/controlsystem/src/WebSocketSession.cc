#include "WebSocketSession.h"

#include "Corvane/Cs/Json.h"
#include "Corvane/Cs/Url.h"
#include "Corvane/Cs/ValueCodec.h"

#include <Corvane/Exception.h>
#include <Corvane/Logger.h>

#include <array>
#include <cmath>
#include <cstdio>

namespace Corvane::Cs {

  namespace beast = boost::beast;
  namespace websocket = beast::websocket;
  namespace http = beast::http;

  namespace {
    constexpr std::size_t maxQueuedControlMessages = 256;

    std::chrono::steady_clock::duration intervalOfRate(double maxRate) {
      if(!(maxRate > 0) || !std::isfinite(maxRate)) return std::chrono::steady_clock::duration{0};
      return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(1.0 / maxRate));
    }

    std::vector<std::string> pathList(const Json& value) {
      std::vector<std::string> paths;
      if(value.isString()) {
        paths.push_back(value.text());
        return paths;
      }
      if(!value.isArray()) throw RequestError(400, "a path or a list of paths is expected");
      for(auto& item : value.items()) {
        if(!item.isString()) throw RequestError(400, "paths must be strings");
        paths.push_back(item.text());
      }
      return paths;
    }

    std::string quotedList(const std::vector<std::string>& items) {
      std::string out = "[";
      for(std::size_t i = 0; i < items.size(); ++i) {
        if(i) out += ',';
        Json::appendQuoted(out, items[i]);
      }
      return out + "]";
    }
  } // namespace

  WebSocketSession::WebSocketSession(beast::tcp_stream&& stream, std::shared_ptr<ServerState> state, std::string remote,
      ConnectionAdmission::Slot slot)
  : _ws(std::move(stream)), _state(std::move(state)), _remote(std::move(remote)), _slot(std::move(slot)),
    _id(_state->nextSessionId++), _timer(_ws.get_executor()), _lifeTimer(_ws.get_executor()) {}

  WebSocketSession::~WebSocketSession() = default;

  void WebSocketSession::start(http::request<http::string_body> request) {
    auto query = Url::splitTarget(std::string(request.target())).second;
    auto rate = Url::queryParameter(query, "maxRate");
    if(!rate.empty()) {
      try {
        _defaultInterval = intervalOfRate(std::stod(rate));
      }
      catch(std::exception&) {
      }
    }
    beast::get_lowest_layer(_ws).expires_never();
    websocket::stream_base::timeout timeouts{};
    timeouts.handshake_timeout = std::chrono::seconds(10);
    timeouts.idle_timeout = _state->options.idleTimeout;
    timeouts.keep_alive_pings = true;
    _ws.set_option(timeouts);
    _ws.read_message_max(_state->options.maxClientMessageBytes);
    _ws.auto_fragment(false);
    _ws.async_accept(request, [self = shared_from_this()](beast::error_code ec) { self->onAccept(ec); });
  }

  void WebSocketSession::onAccept(beast::error_code ec) {
    if(ec || _state->stopping) {
      finish();
      return;
    }
    _accepted = true;
    ++_state->webSocketClients;
    watchForNoSubscription();
    readNext();
  }

  void WebSocketSession::watchForNoSubscription() {
    _lifeTimer.expires_after(_state->options.unsubscribedTimeout);
    _lifeTimer.async_wait([self = shared_from_this()](beast::error_code ec) {
      if(ec == boost::asio::error::operation_aborted || self->_finished || self->_closing) return;
      if(!self->_subscriptions.empty()) return;
      auto seconds = std::chrono::duration<double>(self->_state->options.unsubscribedTimeout).count();
      char text[64];
      std::snprintf(text, sizeof(text), "nothing subscribed for %g s", seconds);
      self->closeWith(websocket::close_reason(websocket::close_code::policy_error, text));
    });
  }

  void WebSocketSession::readNext() {
    _ws.async_read(_readBuffer, [self = shared_from_this()](beast::error_code ec, std::size_t bytes) {
      self->onRead(ec, bytes);
    });
  }

  void WebSocketSession::onRead(beast::error_code ec, std::size_t) {
    if(ec == beast::error::timeout && !_finished) dropStalled("it answered nothing within the idle timeout");
    if(ec) {
      finish();
      return;
    }
    if(_finished) return;
    if(_closing) {
      // what arrives before the client's close frame is read and left unanswered
      _readBuffer.consume(_readBuffer.size());
      readNext();
      return;
    }
    std::string text = beast::buffers_to_string(_readBuffer.data());
    _readBuffer.consume(_readBuffer.size());
    if(!_ws.got_text()) sendError("client messages are JSON text");
    else handleMessage(text);
    if(!_finished) readNext();
  }

  void WebSocketSession::handleMessage(const std::string& text) {
    try {
      Json message;
      try {
        message = Json::parse(text);
      }
      catch(runtime_error& e) {
        throw RequestError(400, e.what());
      }
      if(!message.isObject()) throw RequestError(400, "a JSON object is expected");
      Clock::duration interval = _defaultInterval;
      if(auto* rate = message.find("maxRate")) {
        auto value = rate->asDouble();
        if(!rate->isNumber() || !value || *value < 0) throw RequestError(400, "maxRate must be a number >= 0");
        interval = *value > 0 ? intervalOfRate(*value) : Clock::duration{0};
      }
      bool known = false;
      if(auto* paths = message.find("subscribe")) {
        known = true;
        subscribe(pathList(*paths), interval);
      }
      if(auto* paths = message.find("unsubscribe")) {
        known = true;
        unsubscribe(pathList(*paths));
      }
      if(!known) throw RequestError(400, "unknown message: expected \"subscribe\" or \"unsubscribe\"");
    }
    catch(RequestError& e) {
      sendError(e.what());
    }
  }

  void WebSocketSession::subscribe(const std::vector<std::string>& paths, Clock::duration minInterval) {
    auto& hub = *_state->hub;
    std::vector<std::size_t> indices;
    std::vector<std::string> unknown;
    for(auto& path : paths) {
      auto found = hub.resolve(path);
      if(found.empty()) unknown.push_back(path);
      indices.insert(indices.end(), found.begin(), found.end());
    }
    if(!unknown.empty()) {
      // a client's own input goes back shortened
      constexpr std::size_t named = 8;
      std::vector<std::string> shown;
      for(std::size_t i = 0; i < unknown.size() && i < named; ++i) shown.push_back(RequestError::excerpt(unknown[i]));
      auto more = unknown.size() > named ? " and " + std::to_string(unknown.size() - named) + " more" : std::string();
      throw RequestError(404, "no variable or directory at " + quotedList(shown) + more + "; nothing subscribed");
    }
    std::size_t added = 0;
    for(auto index : indices) added += _subscriptions.count(index) ? 0 : 1;
    if(_subscriptions.size() + added > _state->options.maxSubscriptionsPerClient) {
      throw RequestError(400, "subscribing " + std::to_string(added) + " more variables would exceed the limit of " +
          std::to_string(_state->options.maxSubscriptionsPerClient) + " per client; nothing subscribed");
    }
    std::vector<std::string> subscribed;
    for(auto index : indices) {
      auto& subscription = _subscriptions[index];
      subscription.minInterval = minInterval;
      hub.subscribe(index, this);
      subscribed.push_back(hub.variable(index).path());
    }
    if(!indices.empty()) _lifeTimer.cancel();
    sendControl("{\"type\":\"subscribed\",\"paths\":" + quotedList(subscribed) + "}");
    // every subscriber starts with the current value
    for(auto index : indices) {
      if(auto value = hub.variable(index).latestValue()) offer(index, value);
    }
  }

  void WebSocketSession::unsubscribe(const std::vector<std::string>& paths) {
    auto& hub = *_state->hub;
    std::vector<std::string> removed;
    for(auto& path : paths) {
      for(auto index : hub.resolve(path)) {
        if(!_subscriptions.erase(index)) continue;
        hub.unsubscribe(index, this);
        removed.push_back(hub.variable(index).path());
      }
    }
    if(_subscriptions.empty() && !removed.empty()) watchForNoSubscription();
    sendControl("{\"type\":\"unsubscribed\",\"paths\":" + quotedList(removed) + "}");
  }

  void WebSocketSession::sendError(const std::string& message) {
    std::string text = "{\"type\":\"error\",\"message\":";
    Json::appendQuoted(text, RequestError::excerpt(message, RequestError::maxMessageBytes));
    sendControl(text + "}");
  }

  void WebSocketSession::sendControl(std::string message) {
    if(_finished || _closing) return;
    if(_control.size() >= maxQueuedControlMessages) {
      dropStalled("it sends requests but does not read the answers");
      return;
    }
    _control.push_back(std::move(message));
    pump();
  }

  void WebSocketSession::offer(std::size_t index, const SharedValue& value) {
    auto it = _subscriptions.find(index);
    if(it == _subscriptions.end() || _finished || _closing) return;
    auto& subscription = it->second;
    if(subscription.pending) ++_overwritten;
    subscription.pending = value;
    if(!subscription.inReady && !subscription.waiting) {
      subscription.inReady = true;
      _ready.push_back(index);
    }
    pump();
  }

  void WebSocketSession::pump() {
    if(_writing || _finished || _closing || !_accepted) return;
    if(!_control.empty()) {
      _writing = true;
      _outText = std::move(_control.front());
      _control.pop_front();
      _ws.text(true);
      _ws.async_write(boost::asio::buffer(_outText), [self = shared_from_this()](beast::error_code ec, std::size_t n) {
        self->onWrite(ec, n);
      });
      return;
    }
    auto now = Clock::now();
    while(!_ready.empty()) {
      auto index = _ready.front();
      _ready.pop_front();
      auto it = _subscriptions.find(index);
      if(it == _subscriptions.end()) continue;
      auto& subscription = it->second;
      subscription.inReady = false;
      if(!subscription.pending) continue;
      if(subscription.minInterval.count() > 0 && now < subscription.nextAllowed) {
        subscription.waiting = true;
        _waiting.emplace(subscription.nextAllowed, index);
        armTimer();
        continue;
      }
      sendUpdate(index, subscription);
      return;
    }
  }

  void WebSocketSession::sendUpdate(std::size_t index, Subscription& subscription) {
    auto& variable = _state->hub->variable(index);
    auto type = variable.type();
    _inFlight = std::move(subscription.pending);
    subscription.pending.reset();
    auto sequence = ValueCodec::sequenceOf(_inFlight);
    std::uint64_t skipped = 0;
    if(subscription.lastSentSequence != 0 && sequence > subscription.lastSentSequence + 1) {
      skipped = sequence - subscription.lastSentSequence - 1;
    }
    subscription.lastSentSequence = sequence;
    subscription.nextAllowed = Clock::now() + subscription.minInterval;
    _sent += 1;
    _skipped += skipped;
    _state->updatesSent.fetch_add(1, std::memory_order_relaxed);
    _state->updatesSkipped.fetch_add(skipped, std::memory_order_relaxed);

    _writing = true;
    auto handler = [self = shared_from_this()](beast::error_code ec, std::size_t n) { self->onWrite(ec, n); };
    bool binary = variable.nElements() != 1 && ValueCodec::hasBinaryForm(type);
    std::string header = "{\"type\":\"update\",\"path\":";
    Json::appendQuoted(header, variable.path());
    if(!binary) {
      header += ",\"value\":";
      ValueCodec::appendJson(header, variable.nElements(), _inFlight);
      header += ',';
      ValueCodec::appendStamp(header, _inFlight);
      header += ",\"skipped\":" + std::to_string(skipped) + "}";
      _outText = std::move(header);
      _inFlight.reset();
      _ws.text(true);
      _ws.async_write(boost::asio::buffer(_outText), std::move(handler));
      return;
    }
    header += ",\"dataType\":\"";
    header += dataTypeName(type);
    header += "\",\"nElements\":" + std::to_string(variable.nElements()) + ",";
    ValueCodec::appendStamp(header, _inFlight);
    header += ",\"skipped\":" + std::to_string(skipped) + "}";
    // pad so that the elements start 8-byte aligned in the message
    header.append((8 - (4 + header.size()) % 8) % 8, ' ');
    auto length = static_cast<std::uint32_t>(header.size());
    _outHeader.assign(4, '\0');
    for(int i = 0; i < 4; ++i) _outHeader[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
    _outHeader += header;
    auto bytes = ValueCodec::rawBytes(_inFlight);
    std::array<boost::asio::const_buffer, 2> buffers{
        boost::asio::buffer(_outHeader), boost::asio::const_buffer(bytes.data(), bytes.size())};
    _ws.binary(true);
    _ws.async_write(buffers, std::move(handler));
  }

  void WebSocketSession::onWrite(beast::error_code ec, std::size_t) {
    _writing = false;
    _inFlight.reset();
    if(ec) {
      finish();
      return;
    }
    if(_closing) sendClose();
    else pump();
  }

  void WebSocketSession::armTimer() {
    if(_waiting.empty()) return;
    auto next = _waiting.begin()->first;
    if(next >= _timerAt) return;
    _timerAt = next;
    _timer.expires_at(next);
    _timer.async_wait([self = shared_from_this()](beast::error_code ec) {
      if(ec == boost::asio::error::operation_aborted) return;
      self->onTimer();
    });
  }

  void WebSocketSession::onTimer() {
    _timerAt = Clock::time_point::max();
    if(_finished) return;
    auto now = Clock::now();
    while(!_waiting.empty() && _waiting.begin()->first <= now) {
      auto index = _waiting.begin()->second;
      _waiting.erase(_waiting.begin());
      auto it = _subscriptions.find(index);
      if(it == _subscriptions.end()) continue;
      it->second.waiting = false;
      if(it->second.pending && !it->second.inReady) {
        it->second.inReady = true;
        _ready.push_back(index);
      }
    }
    armTimer();
    pump();
  }

  void WebSocketSession::close() {
    if(_state->stopping) closeWith(websocket::close_reason(websocket::close_code::going_away, "server shutting down"));
    else closeWith(websocket::close_reason(websocket::close_code::policy_error, "the server's answers are not read"));
  }

  void WebSocketSession::closeWith(websocket::close_reason reason) {
    if(_finished || _closing) return;
    if(!_accepted) {
      finish();
      return;
    }
    _closing = true;
    _closeReason = std::move(reason);
    releaseSubscriptions();
    _lifeTimer.expires_after(closeTimeout);
    _lifeTimer.async_wait([self = shared_from_this()](beast::error_code ec) {
      if(ec != boost::asio::error::operation_aborted) self->finish();
    });
    // a message being written goes out whole first (onWrite then sends the close frame)
    if(!_writing) sendClose();
  }

  void WebSocketSession::sendClose() {
    websocket::stream_base::timeout timeouts{};
    timeouts.handshake_timeout = closeTimeout;
    timeouts.idle_timeout = websocket::stream_base::none();
    timeouts.keep_alive_pings = false;
    _ws.set_option(timeouts);
    _ws.async_close(_closeReason, [self = shared_from_this()](beast::error_code) { self->finish(); });
  }

  void WebSocketSession::releaseSubscriptions() {
    if(_state->hub) {
      for(auto& [index, subscription] : _subscriptions) _state->hub->unsubscribe(index, this);
    }
    _subscriptions.clear();
    _ready.clear();
    _waiting.clear();
    _control.clear();
    _timer.cancel();
  }

  void WebSocketSession::dropStalled(const std::string& why) {
    // what the client loses: its subscriptions and the updates not yet sent to it
    std::uint64_t covered = 0;
    auto& limit = _state->droppedClientLog;
    if(limit.noteAndCheck(std::chrono::steady_clock::now(), covered)) {
      logger(Logger::Severity::warning, "WebSocket")
          << "client " << _remote << " (#" << _id << ") dropped: " << why << "; its " << _subscriptions.size()
          << " subscriptions and " << (_ready.size() + _waiting.size()) << " unsent updates are lost"
          << (covered > 1 ? " (" + std::to_string(covered - 1) + " more clients dropped since the last line)" : "");
    }
    else if(!_state->droppedClientReportPending) {
      // the clients held back are reported a second later, even if no other client stalls
      _state->droppedClientReportPending = true;
      auto timer = std::make_shared<boost::asio::steady_timer>(_ws.get_executor(), std::chrono::seconds(1));
      timer->async_wait([timer, state = _state](beast::error_code ec) {
        state->droppedClientReportPending = false;
        std::uint64_t held = 0;
        if(ec || !state->droppedClientLog.due(std::chrono::steady_clock::now(), held)) return;
        logger(Logger::Severity::warning, "WebSocket") << held << " more clients dropped for not reading";
      });
    }
    closeWith(websocket::close_reason(websocket::close_code::policy_error, "the server's answers are not read"));
  }

  void WebSocketSession::finish() {
    if(_finished) return;
    _finished = true;
    releaseSubscriptions();
    _lifeTimer.cancel();
    beast::error_code ec;
    beast::get_lowest_layer(_ws).socket().close(ec);
    _state->remove(this);
    if(_accepted) --_state->webSocketClients;
    _slot.release();
  }

  void WebSocketSession::describe(std::string& out) const {
    out += "{\"id\":" + std::to_string(_id) + ",\"remote\":";
    Json::appendQuoted(out, _remote);
    out += ",\"subscriptions\":" + std::to_string(_subscriptions.size()) + ",\"sent\":" + std::to_string(_sent) +
        ",\"skipped\":" + std::to_string(_skipped) +
        ",\"overwritten\":" + std::to_string(_overwritten) + ",\"pending\":" + std::to_string(_ready.size() + _waiting.size()) +
        "}";
  }

} // namespace Corvane::Cs
