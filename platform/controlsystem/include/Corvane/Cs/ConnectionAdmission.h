// Who gets one of the control-system server's connections. Anyone may read, so without rules a
// few clients holding idle connections would lock every other client out. The rules:
//  - at most `maxConnections` connections are served (HTTP and WebSocket together);
//  - the last `reservedConnections` of them are kept for privileged clients: clients on the
//    loopback interface and clients whose request carries the server's token; everyone else
//    shares the others;
//  - one client address (other than loopback) holds at most `maxConnectionsPerAddress` of the
//    shared connections.
// A client from elsewhere that finds the shared connections (or its address's) taken is held on
// probation when the server has a token: outside the served count, at most `reservedConnections`
// at once, until its first request, which must arrive within `probationTimeout` and carry the
// token; it then takes a reserved connection (even beyond its address's share), otherwise it is
// answered 503. Without a token there is no probation: such a client is answered 503 at once.
// Connections that idle are closed by the sessions (see ServerOptions).
//
// Network thread only.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <unordered_map>

namespace Corvane::Cs {

  struct ServerOptions;

  class ConnectionAdmission {
   public:
    struct Limits {
      std::size_t maxConnections{64};
      std::size_t reservedConnections{8};
      std::size_t maxConnectionsPerAddress{16};
      bool tokenRequired{false};
    };

    static constexpr std::chrono::seconds probationTimeout{5};

    enum class Verdict { admitted, onProbation, addressFull, serverFull };

    /// One connection counted until it is released (also by destruction or by moving over it).
    class Slot {
     public:
      Slot() = default;
      Slot(Slot&& other) noexcept;
      Slot& operator=(Slot&& other) noexcept;
      Slot(const Slot&) = delete;
      Slot& operator=(const Slot&) = delete;
      ~Slot() { release(); }

      bool held() const { return _admission != nullptr; }
      bool onProbation() const { return _onProbation; }
      /// Takes a reserved connection for a client on probation that proved its token; false (and
      /// still on probation) when every connection is taken.
      bool confirm();
      void release();

     private:
      friend class ConnectionAdmission;
      Slot(ConnectionAdmission& admission, std::string address, bool onProbation)
      : _admission(&admission), _address(std::move(address)), _onProbation(onProbation) {}

      ConnectionAdmission* _admission{nullptr};
      std::string _address;
      bool _onProbation{false};
    };

    struct Decision {
      Verdict verdict;
      Slot slot; ///< held for admitted and onProbation
      /// onProbation: the refusal (addressFull or serverFull) that stands unless the token is shown
      Verdict unlessToken{Verdict::admitted};
    };

    explicit ConnectionAdmission(Limits limits) : _limits(limits) {}
    static Limits limitsOf(const ServerOptions& options);

    /// Decides on a new connection from `address` (the client's IP address as text).
    Decision admit(const std::string& address, bool loopback);

    const Limits& limits() const { return _limits; }
    /// Connections served, and held on probation besides.
    std::size_t served() const { return _served; }
    std::size_t onProbation() const { return _onProbation; }
    std::size_t fromAddress(const std::string& address) const;

   private:
    void release(const std::string& address, bool onProbation);
    bool confirm();

    Limits _limits;
    std::size_t _served{0};
    std::size_t _onProbation{0};
    /// connections (served and on probation) of every address but loopback
    std::unordered_map<std::string, std::size_t> _perAddress;
  };

} // namespace Corvane::Cs
