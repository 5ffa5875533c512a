#include "Corvane/Cs/ApiHandler.h"

#include "Corvane/Cs/Json.h"
#include "Corvane/Cs/Url.h"
#include "Corvane/Cs/ValueCodec.h"

#include <Corvane/ControlSystem.h>
#include <Corvane/Logger.h>
#include <Corvane/StatusOutput.h>

#include <cctype>

namespace Corvane::Cs {

  namespace {
    constexpr std::string_view variablesPrefix = "/api/variables";

    /// Compares without an early exit, so that the time taken tells nothing about the token.
    bool constantTimeEqual(std::string_view given, std::string_view token) {
      unsigned difference = given.size() == token.size() ? 0 : 1;
      for(std::size_t i = 0; i < given.size(); ++i) {
        char expected = i < token.size() ? token[i] : '\0';
        difference |= static_cast<unsigned char>(given[i] ^ expected);
      }
      return difference == 0;
    }

    bool wantsBinary(const HttpRequest& request, const std::string& query) {
      auto format = Url::queryParameter(query, "format");
      if(format == "binary") return true;
      if(!format.empty()) return false;
      return request.accept.find("application/octet-stream") != std::string::npos;
    }
  } // namespace

  HttpResponse HttpResponse::error(int status, const std::string& message) {
    HttpResponse response;
    response.status = status;
    response.body = "{\"error\":";
    Json::appendQuoted(response.body, RequestError::excerpt(message, RequestError::maxMessageBytes));
    response.body += '}';
    return response;
  }

  ApiHandler::ApiHandler(ControlSystem& controlSystem, const ServerOptions& options, WriteCounters& counters)
  : _controlSystem(controlSystem), _options(options), _counters(counters) {
    // the station's name and the names of the status values head the list, so that a client
    // (the operator page) needs no copy of them
    _variableList = "{\"application\":";
    Json::appendQuoted(_variableList, _options.applicationName);
    _variableList += ",\"statusNames\":[";
    for(auto status : {StatusOutput::OK, StatusOutput::FAULT, StatusOutput::OFF, StatusOutput::WARNING}) {
      if(status != StatusOutput::OK) _variableList += ',';
      Json::appendQuoted(_variableList, StatusOutput::toString(status));
    }
    _variableList += "],\"variables\":[";
    bool first = true;
    for(auto& [path, variable] : _controlSystem.variables()) {
      if(!first) _variableList += ',';
      first = false;
      ValueCodec::appendMetadata(_variableList, *variable);
    }
    _variableList += "]}";
  }

  bool ApiHandler::isApiTarget(const std::string& target) { return target == "/api" || target.starts_with("/api/"); }

  HttpResponse ApiHandler::handle(const HttpRequest& request) {
    try {
      auto [path, query] = Url::splitTarget(request.target);
      if(path == variablesPrefix || path == std::string(variablesPrefix) + "/") {
        if(request.method != "GET") throw RequestError(405, "the variable list can only be read (GET)");
        HttpResponse response;
        response.body = _variableList;
        return response;
      }
      if(path.starts_with(std::string(variablesPrefix) + "/")) {
        std::string variablePath = path.substr(variablesPrefix.size());
        if(request.method == "GET") return getValue(variablePath, request, query);
        if(request.method == "PUT") return putValue(variablePath, request);
        auto response = HttpResponse::error(405,
            "variables are read with GET and written with PUT, not " + RequestError::excerpt(request.method));
        response.headers.emplace_back("Allow", "GET, PUT");
        return response;
      }
      if(path == "/api/info") {
        if(request.method != "GET") throw RequestError(405, "/api/info can only be read (GET)");
        HttpResponse response;
        response.body = std::string("{\"readOnly\":") + (_options.readOnly ? "true" : "false") +
            ",\"tokenRequired\":" + (_options.token.empty() ? "false" : "true") +
            ",\"variables\":" + std::to_string(_controlSystem.variables().size()) + "}";
        return response;
      }
      if(path == "/api/stats") {
        if(request.method != "GET") throw RequestError(405, "/api/stats can only be read (GET)");
        HttpResponse response;
        response.body = _statistics ? _statistics() : "{}";
        return response;
      }
      throw RequestError(404, "no such API resource: " + RequestError::excerpt(path));
    }
    catch(RequestError& e) {
      if(request.method == "PUT") _counters.refused.fetch_add(1, std::memory_order_relaxed);
      return HttpResponse::error(e.status(), e.what());
    }
  }

  HttpResponse ApiHandler::getValue(const std::string& path, const HttpRequest& request, const std::string& query) {
    if(!_controlSystem.has(path)) throw RequestError(404, "no process variable at path " + RequestError::excerpt(path));
    auto& variable = _controlSystem.variable(path);
    auto value = variable.latestValue();
    HttpResponse response;
    if(!wantsBinary(request, query)) {
      response.body = ValueCodec::valueDocument(variable, value);
      return response;
    }
    if(!ValueCodec::hasBinaryForm(variable.type())) {
      throw RequestError(400, path + " is of type " + std::string(dataTypeName(variable.type())) +
          ", which has no binary form; ask for JSON");
    }
    response.contentType = "application/octet-stream";
    response.headers.emplace_back("X-Corvane-Type", std::string(dataTypeName(variable.type())));
    response.headers.emplace_back("X-Corvane-Elements", std::to_string(variable.nElements()));
    if(value) {
      auto bytes = ValueCodec::rawBytes(value);
      response.body.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      std::string stamp = "{";
      ValueCodec::appendStamp(stamp, value);
      stamp += '}';
      auto parsed = Json::parse(stamp);
      response.headers.emplace_back("X-Corvane-Valid", parsed.find("valid")->asBoolean() ? "true" : "false");
      response.headers.emplace_back("X-Corvane-Version", parsed.find("version")->text());
      response.headers.emplace_back("X-Corvane-Time", parsed.find("time")->text());
    }
    else {
      response.headers.emplace_back("X-Corvane-Valid", "false");
      response.headers.emplace_back("X-Corvane-Version", "0");
    }
    return response;
  }

  std::optional<std::string_view> ApiHandler::bearerToken(std::string_view authorization) {
    // "Bearer" like every authentication scheme is case-insensitive; one or more spaces follow it
    constexpr std::string_view scheme = "bearer";
    if(authorization.size() <= scheme.size() || authorization[scheme.size()] != ' ') return std::nullopt;
    for(std::size_t i = 0; i < scheme.size(); ++i) {
      if(std::tolower(static_cast<unsigned char>(authorization[i])) != scheme[i]) return std::nullopt;
    }
    auto credentials = authorization.substr(scheme.size());
    auto first = credentials.find_first_not_of(" \t");
    auto last = credentials.find_last_not_of(" \t");
    if(first == std::string_view::npos) return std::string_view();
    return credentials.substr(first, last + 1 - first);
  }

  bool ApiHandler::holdsToken(const std::string& authorization) const {
    if(_options.token.empty()) return false;
    auto given = bearerToken(authorization);
    return given && constantTimeEqual(*given, _options.token);
  }

  void ApiHandler::checkWriteAllowed(const HttpRequest& request) const {
    if(_options.readOnly) throw RequestError(403, "the server is read-only (started with --read-only)");
    if(_options.token.empty()) return;
    if(!bearerToken(request.authorization)) {
      throw RequestError(403, "writes need the server's token (header \"Authorization: Bearer <token>\")");
    }
    if(!holdsToken(request.authorization)) throw RequestError(403, "the token given does not match the server's token");
  }

  HttpResponse ApiHandler::putValue(const std::string& path, const HttpRequest& request) {
    if(!_controlSystem.has(path)) throw RequestError(404, "no process variable at path " + RequestError::excerpt(path));
    checkWriteAllowed(request);
    auto& variable = _controlSystem.variable(path);
    if(!variable.isWritable()) {
      throw RequestError(403, path + " is not writable: the application feeds it");
    }
    AnyVector value;
    if(request.contentType.starts_with("application/octet-stream")) {
      value = ValueCodec::decodeBinary(request.body, variable.type(), variable.nElements(), path);
    }
    else {
      Json document;
      try {
        document = Json::parse(request.body);
      }
      catch(runtime_error& e) {
        throw RequestError(400, std::string("the body is not valid JSON: ") + e.what());
      }
      const Json* written = &document;
      if(document.isObject()) {
        written = document.find("value");
        if(!written || document.members().size() != 1) {
          throw RequestError(400, "the body must be a JSON value or an object {\"value\": ...}");
        }
      }
      value = ValueCodec::decodeJson(*written, variable.type(), variable.nElements(), path);
    }
    ValueCodec::write(variable, value);
    _counters.accepted.fetch_add(1, std::memory_order_relaxed);
    HttpResponse response;
    response.body = ValueCodec::valueDocument(variable, variable.latestValue());
    return response;
  }

} // namespace Corvane::Cs
