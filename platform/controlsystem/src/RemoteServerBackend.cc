#include "Corvane/Cs/RemoteServerBackend.h"

#include "Corvane/Cs/Json.h"

#include <Corvane/BackendRegisterer.h>
#include <Corvane/DMapRelativePath.h>
#include <Corvane/Exception.h>
#include <Corvane/RegisterMapFile.h>

#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

namespace Corvane::Cs {

  namespace {
    constexpr const char* typeName = "zorbel";
    const BackendRegisterer registerer(typeName, &RemoteServerBackend::createInstance);

    std::pair<std::string, std::uint16_t> splitAddress(const std::string& address) {
      auto colon = address.rfind(':');
      unsigned port = 0;
      if(colon != std::string::npos) {
        auto text = std::string_view(address).substr(colon + 1);
        auto result = std::from_chars(text.data(), text.data() + text.size(), port);
        if(result.ec != std::errc{} || result.ptr != text.data() + text.size() || port == 0 || port > 65535) colon = std::string::npos;
      }
      if(colon == std::string::npos || colon == 0) {
        throw logic_error("zorbel device: the address must be HOST:PORT, got \"" + address + "\"");
      }
      return {address.substr(0, colon), static_cast<std::uint16_t>(port)};
    }

    std::string errorOf(const HttpClient::Response& response) {
      try {
        auto document = Json::parse(response.body);
        if(auto* error = document.find("error")) return error->text();
      }
      catch(std::exception&) {
      }
      return "HTTP status " + std::to_string(response.status);
    }

    /// Calls f with a default-constructed element of a remote type name.
    template<class F>
    void forRemoteType(const std::string& type, F&& f) {
      if(type == "int8") f(std::int8_t{});
      else if(type == "uint8") f(std::uint8_t{});
      else if(type == "int16") f(std::int16_t{});
      else if(type == "uint16") f(std::uint16_t{});
      else if(type == "int32") f(std::int32_t{});
      else if(type == "uint32") f(std::uint32_t{});
      else if(type == "int64") f(std::int64_t{});
      else if(type == "uint64") f(std::uint64_t{});
      else if(type == "float") f(float{});
      else if(type == "double") f(double{});
      else if(type == "boolean") f(Boolean{});
      else throw logic_error("remote variable type \"" + type + "\" cannot be a register");
    }
  } // namespace

  RemoteServerBackend::RemoteServerBackend(std::shared_ptr<const RegisterMap> registerMap, std::string host,
      std::uint16_t port, std::string token, std::chrono::milliseconds timeout)
  : DeviceBackend(std::move(registerMap)), _client(std::move(host), port, timeout), _token(std::move(token)) {}

  std::string RemoteServerBackend::registerMapFor(const std::string& variableList) {
    std::ostringstream map;
    std::uint64_t address = 0;
    auto document = Json::parse(variableList);
    auto* variables = document.find("variables");
    if(!variables || !variables->isArray()) throw logic_error("the server's variable list has no \"variables\"");
    for(auto& variable : variables->items()) {
      auto type = variable.find("type")->text();
      auto path = variable.find("path")->text();
      auto n = variable.find("nElements")->asUint64().value_or(0);
      if(type == "string" || type == "void" || n == 0) continue;
      std::string format;
      if(type == "float" || type == "double") format = "32 IEEE754 1";
      else if(type == "boolean") format = "1 0 0";
      else if(type == "int8") format = "8 0 1";
      else if(type == "uint8") format = "8 0 0";
      else if(type == "int16") format = "16 0 1";
      else if(type == "uint16") format = "16 0 0";
      else if(type == "uint32" || type == "uint64") format = "32 0 0";
      else format = "32 0 1";
      auto access = variable.find("writable")->asBoolean() ? "RW" : "RO";
      map << path.substr(1) << ' ' << n << ' ' << address << ' ' << 4 * n << " 0 " << format << ' ' << access << '\n';
      address += 4 * n;
    }
    return map.str();
  }

  std::shared_ptr<DeviceBackend> RemoteServerBackend::createInstance(
      const std::string& address, const std::map<std::string, std::string>& parameters) {
    auto [host, port] = splitAddress(address);
    std::chrono::milliseconds timeout{1000};
    if(auto it = parameters.find("timeout"); it != parameters.end()) {
      unsigned ms = 0;
      auto result = std::from_chars(it->second.data(), it->second.data() + it->second.size(), ms);
      if(result.ec != std::errc{} || ms == 0) throw logic_error("zorbel device " + address + ": bad timeout " + it->second);
      timeout = std::chrono::milliseconds(ms);
    }
    std::string token;
    if(auto it = parameters.find("tokenFile"); it != parameters.end()) {
      std::ifstream in(convertPathRelativeToDmapToAbs(it->second));
      if(!in) throw logic_error("zorbel device " + address + ": cannot read the token file " + it->second);
      in >> token;
    }
    std::shared_ptr<const RegisterMap> map;
    if(parameters.contains("map")) {
      map = std::make_shared<RegisterMap>(RegisterMap::load(registerMapFile({typeName, address, parameters})));
    }
    else {
      HttpClient client(host, port, timeout);
      HttpClient::Response response;
      try {
        response = client.request("GET", "/api/variables");
      }
      catch(runtime_error& e) {
        throw logic_error("zorbel device " + address + ": cannot fetch the variable list (give map=FILE to start without "
            "the server): " + e.what());
      }
      if(response.status != 200) throw logic_error("zorbel device " + address + ": variable list: " + errorOf(response));
      std::istringstream text(registerMapFor(response.body));
      map = std::make_shared<RegisterMap>(RegisterMap::parse(text, "variables of " + address));
    }
    return std::make_shared<RemoteServerBackend>(std::move(map), host, port, std::move(token), timeout);
  }

  void RemoteServerBackend::open() {
    std::lock_guard lock(_mutex);
    auto response = _client.request("GET", "/api/info");
    if(response.status != 200) throw runtime_error("zorbel device " + _client.where() + ": " + errorOf(response));
    _open = true;
  }

  void RemoteServerBackend::close() {
    std::lock_guard lock(_mutex);
    _client.disconnect();
    _open = false;
  }

  bool RemoteServerBackend::isOpen() const {
    std::lock_guard lock(_mutex);
    return _open;
  }

  std::string RemoteServerBackend::readDeviceInfo() {
    return "control-system server at " + _client.where() + " (" + std::to_string(getRegisterMap().registers().size()) +
        " variables as registers)";
  }

  std::vector<const RegisterInfo*> RemoteServerBackend::touched(std::uint8_t bar, std::uint64_t address, std::size_t nBytes) const {
    std::vector<const RegisterInfo*> result;
    for(auto& info : getRegisterMap().registers()) {
      if(info.bar != bar || !info.hasData()) continue;
      if(info.address < address + nBytes && address < info.address + info.nBytes) result.push_back(&info);
    }
    if(result.empty()) {
      throw logic_error("zorbel device " + _client.where() + ": no register at bar " + std::to_string(bar) + ", address " +
          std::to_string(address));
    }
    return result;
  }

  std::vector<std::int32_t> RemoteServerBackend::fetch(const RegisterInfo& info) {
    auto response = _client.request("GET", "/api/variables" + info.path + "?format=binary");
    if(response.status >= 500) throw runtime_error("zorbel device " + _client.where() + ": " + errorOf(response));
    if(response.status != 200) throw logic_error("zorbel device " + _client.where() + ": " + info.path + ": " + errorOf(response));
    std::vector<std::int32_t> words(info.nElements);
    forRemoteType(response.header("X-Corvane-Type"), [&](auto sample) {
      using T = decltype(sample);
      if(response.body.size() != info.nElements * sizeof(T)) {
        throw logic_error("zorbel device " + _client.where() + ": " + info.path + " has " +
            std::to_string(response.body.size() / sizeof(T)) + " elements, the register map says " +
            std::to_string(info.nElements));
      }
      std::vector<T> values(info.nElements);
      std::memcpy(values.data(), response.body.data(), response.body.size());
      info.converter().toRaw<T>(std::span<const T>(values), std::span<std::int32_t>(words));
    });
    return words;
  }

  void RemoteServerBackend::store(const RegisterInfo& info, const std::vector<std::int32_t>& words) {
    std::vector<double> values(words.size());
    info.converter().toCooked<double>(std::span<const std::int32_t>(words), std::span<double>(values));
    Json array = Json::array();
    for(double v : values) array.push(Json::number(v));
    auto body = "{\"value\":" + array.dump() + "}";
    auto response = _client.request("PUT", "/api/variables" + info.path, body, "application/json",
        _token.empty() ? std::string() : "Bearer " + _token);
    if(response.status >= 500) throw runtime_error("zorbel device " + _client.where() + ": " + errorOf(response));
    if(response.status != 200) {
      throw logic_error("zorbel device " + _client.where() + ": writing " + info.path + " refused: " + errorOf(response));
    }
  }

  void RemoteServerBackend::read(std::uint8_t bar, std::uint64_t address, std::int32_t* data, std::size_t nBytes) {
    std::lock_guard lock(_mutex);
    if(!_open) throw runtime_error("zorbel device " + _client.where() + " is not open");
    for(auto* info : touched(bar, address, nBytes)) {
      auto words = fetch(*info);
      auto first = std::max(address, info->address);
      auto last = std::min(address + nBytes, info->address + info->nBytes);
      std::memcpy(reinterpret_cast<char*>(data) + (first - address),
          reinterpret_cast<const char*>(words.data()) + (first - info->address), last - first);
    }
  }

  void RemoteServerBackend::write(std::uint8_t bar, std::uint64_t address, const std::int32_t* data, std::size_t nBytes) {
    std::lock_guard lock(_mutex);
    if(!_open) throw runtime_error("zorbel device " + _client.where() + " is not open");
    for(auto* info : touched(bar, address, nBytes)) {
      auto first = std::max(address, info->address);
      auto last = std::min(address + nBytes, info->address + info->nBytes);
      std::vector<std::int32_t> words(info->nElements);
      if(first != info->address || last != info->address + info->nBytes) words = fetch(*info);
      std::memcpy(reinterpret_cast<char*>(words.data()) + (first - info->address),
          reinterpret_cast<const char*>(data) + (first - address), last - first);
      store(*info, words);
    }
  }

} // namespace Corvane::Cs
