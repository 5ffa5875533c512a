#include "Corvane/Cs/ValueCodec.h"

#include <Corvane/StatusOutput.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <optional>

namespace Corvane::Cs {

  static_assert(std::endian::native == std::endian::little, "the binary wire form is the machine's little-endian form");

  namespace {

    template<class T>
    void appendElement(std::string& out, const T& value) {
      if constexpr(std::is_same_v<T, std::string>) {
        Json::appendQuoted(out, value);
      }
      else if constexpr(std::is_same_v<T, Boolean>) {
        out += static_cast<bool>(value) ? "true" : "false";
      }
      else if constexpr(std::is_same_v<T, Void>) {
        out += "null";
      }
      else if constexpr(std::is_floating_point_v<T>) {
        if(std::isnan(value)) out += "\"NaN\"";
        else if(std::isinf(value)) out += value > 0 ? "\"Infinity\"" : "\"-Infinity\"";
        else {
          char buffer[64];
          auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
          out.append(buffer, result.ptr);
        }
      }
      else {
        char buffer[32];
        auto result = std::to_chars(buffer, buffer + sizeof(buffer), static_cast<std::conditional_t<std::is_signed_v<T>,
            std::int64_t, std::uint64_t>>(value));
        out.append(buffer, result.ptr);
      }
    }

    template<class T>
    void appendElements(std::string& out, const std::vector<T>& values, bool asArray) {
      if(!asArray && values.size() == 1) {
        appendElement(out, values.front());
        return;
      }
      out.reserve(out.size() + values.size() * 12 + 2);
      out += '[';
      for(std::size_t i = 0; i < values.size(); ++i) {
        if(i) out += ',';
        appendElement(out, values[i]);
      }
      out += ']';
    }

    std::string where(const std::string& path, std::size_t index, std::size_t nElements) {
      if(nElements == 1) return path + ": ";
      return path + ": element " + std::to_string(index) + ": ";
    }

    /// An integral JSON number: its sign and magnitude, the magnitude saturated beyond 64 bits.
    struct ExactInteger {
      bool negative{false};
      bool beyond64Bits{false};
      std::uint64_t magnitude{0};
    };

    /// The exact value of a JSON number (strict syntax, as Json checked it) when it is an integer,
    /// also when written with a fraction or an exponent ("5.0", "1e3", "-0"); nullopt otherwise.
    std::optional<ExactInteger> exactInteger(std::string_view text) {
      ExactInteger result;
      std::size_t pos = 0;
      if(pos < text.size() && text[pos] == '-') {
        result.negative = true;
        ++pos;
      }
      std::string digits;
      std::int64_t pointAt = 0; // position of the decimal point within `digits`
      for(; pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])); ++pos) digits += text[pos];
      pointAt = static_cast<std::int64_t>(digits.size());
      if(pos < text.size() && text[pos] == '.') {
        for(++pos; pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])); ++pos) digits += text[pos];
      }
      if(pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        ++pos;
        bool negativeExponent = pos < text.size() && text[pos] == '-';
        if(pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
        // saturated: far beyond any number of digits a request can hold
        constexpr std::int64_t exponentBound = 1'000'000'000;
        std::int64_t exponent = 0;
        for(; pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])); ++pos)
          exponent = std::min(exponentBound, exponent * 10 + (text[pos] - '0'));
        pointAt += negativeExponent ? -exponent : exponent;
      }
      if(digits.empty() || pos != text.size()) return std::nullopt;
      auto first = digits.find_first_not_of('0');
      if(first == std::string::npos) return ExactInteger{}; // zero, also "-0" and "0e9"
      auto last = digits.find_last_not_of('0');
      pointAt -= static_cast<std::int64_t>(first);
      digits = digits.substr(first, last + 1 - first);
      // a significant digit after the point: not an integer
      if(pointAt < static_cast<std::int64_t>(digits.size())) return std::nullopt;
      // 20 digits before the point reach 10^19; 21 and more are beyond 2^64 in any case
      if(pointAt > 20) {
        result.beyond64Bits = true;
        return result;
      }
      digits.append(static_cast<std::size_t>(pointAt) - digits.size(), '0');
      for(char digit : digits) {
        if(__builtin_mul_overflow(result.magnitude, 10u, &result.magnitude) ||
            __builtin_add_overflow(result.magnitude, static_cast<unsigned>(digit - '0'), &result.magnitude)) {
          result.beyond64Bits = true;
          return result;
        }
      }
      return result;
    }

    template<class T>
    bool fitsInto(const ExactInteger& value) {
      if(value.beyond64Bits) return false;
      if(!value.negative || value.magnitude == 0) {
        return value.magnitude <= static_cast<std::uint64_t>(std::numeric_limits<T>::max());
      }
      if constexpr(std::is_unsigned_v<T>) return false;
      else {
        // the lowest value's magnitude is one more than the highest value
        return value.magnitude <= static_cast<std::uint64_t>(std::numeric_limits<T>::max()) + 1;
      }
    }

    template<class T>
    T decodeElement(const Json& j, const std::string& context) {
      auto typeName = std::string(dataTypeName(dataTypeOf<T>()));
      if constexpr(std::is_same_v<T, Void>) {
        return Void{};
      }
      else if constexpr(std::is_same_v<T, std::string>) {
        if(!j.isString()) throw RequestError(400, context + "a string is expected");
        // JSON documents and WebSocket text frames carry UTF-8 only: a value that is not would be
        // unreadable to every client it is sent to
        if(!Json::isValidUtf8(j.text())) throw RequestError(400, context + "the string is not valid UTF-8");
        return j.text();
      }
      else if constexpr(std::is_same_v<T, Boolean>) {
        if(j.isBoolean()) return Boolean(j.asBoolean());
        if(j.isNumber() && (j.text() == "0" || j.text() == "1")) return Boolean(j.text() == "1");
        throw RequestError(400, context + "true, false, 0 or 1 is expected for a boolean");
      }
      else {
        if(j.isString() && (j.text() == "NaN" || j.text() == "Infinity" || j.text() == "-Infinity")) {
          throw RequestError(400, context + j.text() + " is refused: only finite numbers can be written");
        }
        if(!j.isNumber()) throw RequestError(400, context + "a number is expected for type " + typeName);
        if constexpr(std::is_floating_point_v<T>) {
          auto value = j.asDouble();
          if(!value) throw RequestError(400, context + "malformed number " + RequestError::excerpt(j.text()));
          if(!std::isfinite(*value) || std::fabs(*value) > static_cast<double>(std::numeric_limits<T>::max())) {
            throw RequestError(400, context + RequestError::excerpt(j.text()) + " is outside the range of type " + typeName);
          }
          return static_cast<T>(*value);
        }
        else {
          // decided on the exact decimal value: a detour through double would take
          // -9223372036854775809 for -2^63
          if(!j.asDouble()) throw RequestError(400, context + "malformed number " + RequestError::excerpt(j.text()));
          auto exact = exactInteger(j.text());
          if(!exact) {
            throw RequestError(400, context + RequestError::excerpt(j.text()) + " is not an integer (type " + typeName + ")");
          }
          if(!fitsInto<T>(*exact)) {
            throw RequestError(400, context + RequestError::excerpt(j.text()) + " is outside the range of type " + typeName);
          }
          auto magnitude = exact->magnitude;
          if constexpr(std::is_signed_v<T>) {
            // two's complement: the magnitude of the lowest value wraps onto itself
            if(exact->negative) return static_cast<T>(static_cast<std::uint64_t>(0) - magnitude);
          }
          return static_cast<T>(magnitude);
        }
      }
    }

  } // namespace

  void ValueCodec::appendJson(std::string& out, std::size_t nElements, const SharedValue& value) {
    value.visit([&](auto& v) { appendElements(out, v.data, nElements != 1); });
  }

  void ValueCodec::appendJsonElements(std::string& out, const AnyVector& values, bool asArray) {
    std::visit([&](auto& v) { appendElements(out, v, asArray); }, values);
  }

  void ValueCodec::appendStamp(std::string& out, const SharedValue& value) {
    value.visit([&](auto& v) {
      out += "\"valid\":";
      out += v.validity == DataValidity::ok ? "true" : "false";
      out += ",\"version\":";
      out += std::to_string(v.version.value());
      out += ",\"time\":\"";
      out += formatTime(v.version.getTime());
      out += '"';
    });
  }

  std::string ValueCodec::valueDocument(const ControlSystemVariable& variable, const SharedValue& value) {
    std::string out = "{\"path\":";
    Json::appendQuoted(out, variable.path());
    out += ",\"type\":\"";
    out += dataTypeName(variable.type());
    out += "\",\"nElements\":";
    out += std::to_string(variable.nElements());
    out += ",\"value\":";
    if(value) {
      appendJson(out, variable.nElements(), value);
      out += ',';
      appendStamp(out, value);
    }
    else {
      out += "null,\"valid\":false,\"version\":0,\"time\":null";
    }
    out += '}';
    return out;
  }

  void ValueCodec::appendMetadata(std::string& out, const ControlSystemVariable& variable) {
    out += "{\"path\":";
    Json::appendQuoted(out, variable.path());
    out += ",\"type\":\"";
    out += dataTypeName(variable.type());
    out += "\",\"nElements\":";
    out += std::to_string(variable.nElements());
    out += ",\"unit\":";
    Json::appendQuoted(out, variable.unit());
    out += ",\"description\":";
    Json::appendQuoted(out, variable.description());
    out += ",\"tags\":[";
    std::vector<std::string> tags(variable.tags().begin(), variable.tags().end());
    std::sort(tags.begin(), tags.end());
    for(std::size_t i = 0; i < tags.size(); ++i) {
      if(i) out += ',';
      Json::appendQuoted(out, tags[i]);
    }
    out += "],\"writable\":";
    out += variable.isWritable() ? "true" : "false";
    out += ",\"status\":";
    out += StatusOutput::isStatus(variable.type(), variable.tags()) ? "true" : "false";
    out += '}';
  }

  std::span<const std::byte> ValueCodec::rawBytes(const SharedValue& value) {
    if(!hasBinaryForm(value.type())) return {};
    return value.visit([&](auto& v) -> std::span<const std::byte> {
      using T = typename std::decay_t<decltype(v.data)>::value_type;
      if constexpr(std::is_same_v<T, std::string> || std::is_same_v<T, Void>) return {};
      else return std::as_bytes(std::span<const T>(v.data));
    });
  }

  AnyVector ValueCodec::decodeJson(const Json& value, DataType type, std::size_t nElements, const std::string& path) {
    return callForType(type, [&](auto sample) -> AnyVector {
      using T = decltype(sample);
      std::vector<T> out;
      out.reserve(nElements);
      if(value.isArray()) {
        if(value.items().size() != nElements) {
          throw RequestError(400, path + " has " + std::to_string(nElements) + " element" +
              (nElements == 1 ? "" : "s") + ", " + std::to_string(value.items().size()) + " were given");
        }
        for(std::size_t i = 0; i < nElements; ++i)
          out.push_back(decodeElement<T>(value.items()[i], where(path, i, nElements)));
      }
      else {
        if(nElements != 1) {
          throw RequestError(400, path + " has " + std::to_string(nElements) + " elements, a single value was given");
        }
        out.push_back(decodeElement<T>(value, path + ": "));
      }
      return out;
    });
  }

  AnyVector ValueCodec::decodeBinary(std::string_view bytes, DataType type, std::size_t nElements, const std::string& path) {
    if(!hasBinaryForm(type)) {
      throw RequestError(400, path + " is of type " + std::string(dataTypeName(type)) + ", which has no binary form");
    }
    return callForType(type, [&](auto sample) -> AnyVector {
      using T = decltype(sample);
      if constexpr(std::is_same_v<T, std::string> || std::is_same_v<T, Void>) {
        return std::vector<T>{};
      }
      else {
        if(bytes.size() != nElements * sizeof(T)) {
          throw RequestError(400, path + " takes " + std::to_string(nElements) + " elements of " +
              std::to_string(sizeof(T)) + " bytes (" + std::to_string(nElements * sizeof(T)) + " bytes), " +
              std::to_string(bytes.size()) + " bytes were given");
        }
        std::vector<T> out(nElements);
        std::memcpy(out.data(), bytes.data(), bytes.size());
        for(std::size_t i = 0; i < nElements; ++i) {
          if constexpr(std::is_floating_point_v<T>) {
            if(!std::isfinite(out[i])) {
              throw RequestError(400, where(path, i, nElements) + "non-finite values are refused");
            }
          }
          else if constexpr(std::is_same_v<T, Boolean>) {
            auto raw = static_cast<unsigned char>(bytes[i]);
            if(raw > 1) throw RequestError(400, where(path, i, nElements) + "a boolean byte must be 0 or 1");
          }
        }
        return out;
      }
    });
  }

  void ValueCodec::write(ControlSystemVariable& variable, AnyVector& value) {
    std::visit([&](auto& v) { variable.setValue(&v, VersionNumber{}, DataValidity::ok); }, value);
  }

  AnyVector ValueCodec::toVector(const SharedValue& value) {
    return value.visit([](auto& v) -> AnyVector { return v.data; });
  }

  std::uint64_t ValueCodec::sequenceOf(const SharedValue& value) {
    return value.visit([](auto& v) { return v.sequence; });
  }

  std::string ValueCodec::formatTime(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    auto micros = duration_cast<microseconds>(time.time_since_epoch()).count();
    auto seconds = static_cast<std::time_t>(micros / 1000000);
    auto fraction = micros % 1000000;
    if(fraction < 0) {
      fraction += 1000000;
      --seconds;
    }
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char buffer[40];
    auto n = std::strftime(buffer, sizeof(buffer), "%Y-%m-%dT%H:%M:%S", &tm);
    char tail[16];
    std::snprintf(tail, sizeof(tail), ".%06ldZ", static_cast<long>(fraction));
    return std::string(buffer, n) + tail;
  }

} // namespace Corvane::Cs
