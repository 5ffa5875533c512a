#include "Corvane/Cs/CommandLine.h"

#include <Corvane/Exception.h>

#include <boost/asio/ip/address.hpp>

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace Corvane::Cs {

  namespace {
    void parseListen(const std::string& value, CommandLineOptions& options) {
      auto colon = value.rfind(':');
      if(colon == std::string::npos || colon == 0 || colon + 1 == value.size()) {
        throw logic_error("--listen expects ADDR:PORT, got \"" + value + "\"");
      }
      std::string address = value.substr(0, colon);
      if(address.size() > 2 && address.front() == '[' && address.back() == ']') address = address.substr(1, address.size() - 2);
      auto portText = value.substr(colon + 1);
      unsigned port = 0;
      auto result = std::from_chars(portText.data(), portText.data() + portText.size(), port);
      if(result.ec != std::errc{} || result.ptr != portText.data() + portText.size() || port > 65535) {
        throw logic_error("--listen: \"" + portText + "\" is not a port number (0..65535)");
      }
      boost::system::error_code ec;
      boost::asio::ip::make_address(address, ec);
      if(ec) throw logic_error("--listen: \"" + address + "\" is not an IP address");
      options.address = address;
      options.port = static_cast<std::uint16_t>(port);
    }

    std::chrono::milliseconds parseSeconds(const std::string& option, const std::string& value) {
      double seconds = 0;
      auto result = std::from_chars(value.data(), value.data() + value.size(), seconds);
      // at least a millisecond, at most a day
      if(result.ec != std::errc{} || result.ptr != value.data() + value.size() || !(seconds >= 0.001) ||
          seconds > 86400) {
        throw logic_error(option + ": \"" + value + "\" is not a number of seconds (0.001..86400)");
      }
      return std::chrono::milliseconds(static_cast<std::int64_t>(seconds * 1000 + 0.5));
    }

    std::size_t parseWorkers(const std::string& value) {
      std::size_t workers = 0;
      auto result = std::from_chars(value.data(), value.data() + value.size(), workers);
      if(result.ec != std::errc{} || result.ptr != value.data() + value.size() || workers < 1 || workers > 1024) {
        throw logic_error("--workers: \"" + value + "\" is not a number of threads (1..1024)");
      }
      return workers;
    }
  } // namespace

  CommandLineOptions CommandLine::parse(const std::vector<std::string>& arguments) {
    CommandLineOptions options;
    for(std::size_t i = 0; i < arguments.size(); ++i) {
      std::string argument = arguments[i];
      std::string value;
      bool hasValue = false;
      if(auto eq = argument.find('='); argument.starts_with("--") && eq != std::string::npos) {
        value = argument.substr(eq + 1);
        argument = argument.substr(0, eq);
        hasValue = true;
      }
      auto takeValue = [&] {
        if(hasValue) return value;
        if(i + 1 >= arguments.size()) throw logic_error(argument + " needs a value");
        return arguments[++i];
      };
      if(argument == "--help" || argument == "-h") options.help = true;
      else if(argument == "--read-only") options.readOnly = true;
      else if(argument == "--listen") parseListen(takeValue(), options);
      else if(argument == "--token-file") options.tokenFile = takeValue();
      else if(argument == "--workers") options.workers = parseWorkers(takeValue());
      else if(argument == "--unsubscribed-timeout") options.unsubscribedTimeout = parseSeconds(argument, takeValue());
      else throw logic_error("unknown argument \"" + arguments[i] + "\"");
    }
    return options;
  }

  std::string CommandLine::usage(const std::string& program) {
    return "Usage: " + program +
        " [--listen ADDR:PORT] [--token-file FILE] [--read-only] [--unsubscribed-timeout SECONDS]\n"
        "       [--workers N] [--help]\n"
        "Runs the application and serves its process variables over HTTP and WebSocket.\n"
        "  --listen ADDR:PORT   where to listen (default 127.0.0.1:8680; [::1]:PORT for IPv6;\n"
        "                       port 0 takes a free port)\n"
        "  --token-file FILE    writes need \"Authorization: Bearer <token>\" with the token in FILE;\n"
        "                       required (or CORVANE_CS_TOKEN) when listening beyond loopback\n"
        "  --read-only          refuse every write\n"
        "  --unsubscribed-timeout SECONDS\n"
        "                       close a WebSocket connection subscribed to nothing for this long\n"
        "                       (default 30)\n"
        "  --workers N          worker threads that run the modules (default: one per processor)\n"
        "  --help               print this and exit\n"
        "The operator page is at http://ADDR:PORT/. SIGINT or SIGTERM shut down cleanly.\n"
        "Exit status: 0 after a clean shutdown, 1 when start-up or a module failed.\n";
  }

  bool CommandLine::isLoopback(const std::string& address) {
    boost::system::error_code ec;
    auto parsed = boost::asio::ip::make_address(address, ec);
    return !ec && parsed.is_loopback();
  }

  std::string CommandLine::resolveToken(const CommandLineOptions& options) {
    std::string token;
    if(!options.tokenFile.empty()) {
      std::ifstream in(options.tokenFile);
      if(!in) throw logic_error("cannot read the token file " + options.tokenFile);
      std::ostringstream content;
      content << in.rdbuf();
      token = content.str();
      auto first = token.find_first_not_of(" \t\r\n");
      auto last = token.find_last_not_of(" \t\r\n");
      token = first == std::string::npos ? std::string() : token.substr(first, last - first + 1);
      if(token.empty()) throw logic_error("the token file " + options.tokenFile + " holds no token");
    }
    else if(const char* environment = std::getenv("CORVANE_CS_TOKEN"); environment && *environment) {
      token = environment;
    }
    if(token.empty() && !isLoopback(options.address)) {
      throw logic_error("listening on " + options.address +
          " (beyond loopback) needs a token for writes: give --token-file FILE or set CORVANE_CS_TOKEN");
    }
    return token;
  }

} // namespace Corvane::Cs
