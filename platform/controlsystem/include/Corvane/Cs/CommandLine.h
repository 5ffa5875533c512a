// Command line of a control-system server program:
//   --listen ADDR:PORT   address and port to listen on (default 127.0.0.1:8680; "[::1]:8680" for
//                        IPv6; port 0 takes any free port, printed at start)
//   --token-file FILE    writes need the token in FILE (required, or CORVANE_CS_TOKEN in the
//                        environment, when listening on anything but loopback)
//   --read-only          refuses every write
//   --unsubscribed-timeout SECONDS
//                        closes a WebSocket connection subscribed to nothing for this long
//                        (default 30; decimals allowed)
//   --workers N          worker threads for the modules' execution groups (default: one per
//                        processor the process may use; 1..1024)
//   --help               prints this and exits
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Corvane::Cs {

  struct CommandLineOptions {
    std::string address{"127.0.0.1"};
    std::uint16_t port{8680};
    std::string tokenFile;
    bool readOnly{false};
    std::chrono::milliseconds unsubscribedTimeout{30000};
    std::size_t workers{0}; // 0: one per processor
    bool help{false};
  };

  class CommandLine {
   public:
    /// Throws Corvane::logic_error saying which argument is wrong.
    static CommandLineOptions parse(const std::vector<std::string>& arguments);
    static std::string usage(const std::string& program);

    /// True for 127.0.0.0/8 and ::1.
    static bool isLoopback(const std::string& address);

    /// The token to require: from the file if given, else from CORVANE_CS_TOKEN, else empty.
    /// Throws Corvane::logic_error when the file cannot be read or holds no token, and when a
    /// non-loopback address has no token.
    static std::string resolveToken(const CommandLineOptions& options);
  };

} // namespace Corvane::Cs
