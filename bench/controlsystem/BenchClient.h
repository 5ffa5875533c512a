// A WebSocket subscriber for the control-system benchmark: reads binary array updates (the
// server's update format: length, JSON header, elements) for a fixed time and records, per
// update, the latency from the moment the producer wrote it (element 0 carries the update's
// slot in the producer's send-time table).
#pragma once

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace bench {

  using Clock = std::chrono::steady_clock;
  constexpr std::size_t nSlots = 1 << 16;

  inline std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
  }

  /// Send times of the producer, indexed by the slot written into element 0.
  using SendTimes = std::array<std::atomic<std::int64_t>, nSlots>;

  struct ClientResult {
    std::vector<double> latenciesUs;
    std::uint64_t updates{0};
    std::uint64_t skippedReported{0};
  };

  inline ClientResult runClient(unsigned short port, const std::string& subscribe, const SendTimes& sendTimes,
      Clock::time_point start, Clock::time_point end) {
    namespace beast = boost::beast;
    namespace websocket = beast::websocket;
    using tcp = boost::asio::ip::tcp;
    boost::asio::io_context io;
    websocket::stream<tcp::socket> ws(io);
    tcp::resolver resolver(io);
    boost::asio::connect(ws.next_layer(), resolver.resolve("127.0.0.1", std::to_string(port)));
    ws.next_layer().set_option(tcp::no_delay(true));
    ws.read_message_max(0);
    ws.handshake("127.0.0.1", "/api/ws");
    if(!subscribe.empty()) ws.write(boost::asio::buffer(subscribe));
    ClientResult result;
    beast::flat_buffer buffer;
    while(Clock::now() < end) {
      buffer.clear();
      ws.read(buffer);
      auto now = nowNs();
      if(ws.got_text()) continue;
      auto data = static_cast<const char*>(buffer.data().data());
      std::uint32_t length;
      std::memcpy(&length, data, 4);
      std::string header(data + 4, length);
      float slot;
      std::memcpy(&slot, data + 4 + length, 4);
      if(auto s = header.find("\"skipped\":"); s != std::string::npos) result.skippedReported += std::stoull(header.substr(s + 10));
      if(Clock::now() < start) continue; // warm-up
      auto sent = sendTimes[static_cast<std::size_t>(slot) % nSlots].load(std::memory_order_acquire);
      result.latenciesUs.push_back(double(now - sent) / 1000.);
      ++result.updates;
    }
    beast::error_code ec;
    ws.next_layer().close(ec);
    return result;
  }

} // namespace bench
