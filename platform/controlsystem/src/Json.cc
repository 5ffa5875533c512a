#include "Corvane/Cs/Json.h"

#include <Corvane/Exception.h>

#include <charconv>
#include <cmath>

namespace Corvane::Cs {

  namespace {

    /// Length of the valid UTF-8 sequence that starts at `text[pos]`, 0 when there is none.
    std::size_t utf8SequenceLength(std::string_view text, std::size_t pos) {
      auto byte = [&](std::size_t i) { return pos + i < text.size() ? static_cast<unsigned char>(text[pos + i]) : 0u; };
      auto continuation = [](unsigned b, unsigned low = 0x80, unsigned high = 0xBF) { return b >= low && b <= high; };
      unsigned lead = byte(0);
      if(lead < 0x80) return 1;
      if(lead >= 0xC2 && lead <= 0xDF) return continuation(byte(1)) ? 2 : 0;
      if(lead >= 0xE0 && lead <= 0xEF) {
        // no overlong forms (E0 below A0) and no surrogates (ED above 9F)
        unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
        unsigned high = lead == 0xED ? 0x9F : 0xBF;
        return continuation(byte(1), low, high) && continuation(byte(2)) ? 3 : 0;
      }
      if(lead >= 0xF0 && lead <= 0xF4) {
        // no overlong forms (F0 below 90) and nothing beyond U+10FFFF (F4 above 8F)
        unsigned low = lead == 0xF0 ? 0x90 : 0x80;
        unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
        return continuation(byte(1), low, high) && continuation(byte(2)) && continuation(byte(3)) ? 4 : 0;
      }
      return 0;
    }

    class Parser {
     public:
      Parser(std::string_view text, Json::Limits limits) : _text(text), _limits(limits) {}

      Json document() {
        skipSpace();
        Json value = parseValue(0);
        skipSpace();
        if(_pos != _text.size()) fail("unexpected text after the value");
        return value;
      }

     private:
      [[noreturn]] void fail(const std::string& what) const {
        throw runtime_error("malformed JSON at offset " + std::to_string(_pos) + ": " + what);
      }

      void skipSpace() {
        while(_pos < _text.size() &&
            (_text[_pos] == ' ' || _text[_pos] == '\t' || _text[_pos] == '\n' || _text[_pos] == '\r'))
          ++_pos;
      }

      bool consume(std::string_view word) {
        if(_text.substr(_pos, word.size()) != word) return false;
        _pos += word.size();
        return true;
      }

      Json parseValue(std::size_t depth) {
        if(depth > _limits.maxDepth) fail("nested too deeply");
        if(_pos >= _text.size()) fail("value expected");
        char c = _text[_pos];
        if(c == '{') return parseObject(depth);
        if(c == '[') return parseArray(depth);
        if(c == '"') return Json::string(parseString());
        if(consume("true")) return Json::boolean(true);
        if(consume("false")) return Json::boolean(false);
        if(consume("null")) return Json();
        if(c == '-' || (c >= '0' && c <= '9')) return parseNumber();
        if(static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F) {
          fail(std::string("unexpected character '") + c + "'");
        }
        static constexpr char hex[] = "0123456789abcdef";
        auto u = static_cast<unsigned char>(c);
        fail(std::string("unexpected byte 0x") + hex[u >> 4] + hex[u & 0xF]);
      }

      Json parseObject(std::size_t depth) {
        ++_pos;
        Json object = Json::object();
        skipSpace();
        if(_pos < _text.size() && _text[_pos] == '}') {
          ++_pos;
          return object;
        }
        while(true) {
          skipSpace();
          if(_pos >= _text.size() || _text[_pos] != '"') fail("member name expected");
          std::string key = parseString();
          skipSpace();
          if(_pos >= _text.size() || _text[_pos] != ':') fail("':' expected");
          ++_pos;
          skipSpace();
          object.set(std::move(key), parseValue(depth + 1));
          skipSpace();
          if(_pos < _text.size() && _text[_pos] == ',') {
            ++_pos;
            continue;
          }
          if(_pos < _text.size() && _text[_pos] == '}') {
            ++_pos;
            return object;
          }
          fail("',' or '}' expected");
        }
      }

      Json parseArray(std::size_t depth) {
        ++_pos;
        Json array = Json::array();
        skipSpace();
        if(_pos < _text.size() && _text[_pos] == ']') {
          ++_pos;
          return array;
        }
        while(true) {
          skipSpace();
          array.push(parseValue(depth + 1));
          skipSpace();
          if(_pos < _text.size() && _text[_pos] == ',') {
            ++_pos;
            continue;
          }
          if(_pos < _text.size() && _text[_pos] == ']') {
            ++_pos;
            return array;
          }
          fail("',' or ']' expected");
        }
      }

      Json parseNumber() {
        std::size_t start = _pos;
        auto digits = [&] {
          std::size_t first = _pos;
          while(_pos < _text.size() && _text[_pos] >= '0' && _text[_pos] <= '9') ++_pos;
          return _pos - first;
        };
        if(_text[_pos] == '-') ++_pos;
        if(_pos < _text.size() && _text[_pos] == '0') ++_pos;
        else if(digits() == 0) fail("digit expected");
        if(_pos < _text.size() && _text[_pos] == '.') {
          ++_pos;
          if(digits() == 0) fail("digit expected after '.'");
        }
        if(_pos < _text.size() && (_text[_pos] == 'e' || _text[_pos] == 'E')) {
          ++_pos;
          if(_pos < _text.size() && (_text[_pos] == '+' || _text[_pos] == '-')) ++_pos;
          if(digits() == 0) fail("digit expected in exponent");
        }
        return Json::numberText(std::string(_text.substr(start, _pos - start)));
      }

      unsigned hex4() {
        if(_pos + 4 > _text.size()) fail("incomplete \\u escape");
        unsigned value = 0;
        for(int i = 0; i < 4; ++i) {
          char c = _text[_pos++];
          value <<= 4;
          if(c >= '0' && c <= '9') value |= unsigned(c - '0');
          else if(c >= 'a' && c <= 'f') value |= unsigned(c - 'a' + 10);
          else if(c >= 'A' && c <= 'F') value |= unsigned(c - 'A' + 10);
          else fail("bad \\u escape");
        }
        return value;
      }

      static void appendUtf8(std::string& out, unsigned code) {
        if(code < 0x80) {
          out += char(code);
        }
        else if(code < 0x800) {
          out += char(0xC0 | (code >> 6));
          out += char(0x80 | (code & 0x3F));
        }
        else if(code < 0x10000) {
          out += char(0xE0 | (code >> 12));
          out += char(0x80 | ((code >> 6) & 0x3F));
          out += char(0x80 | (code & 0x3F));
        }
        else {
          out += char(0xF0 | (code >> 18));
          out += char(0x80 | ((code >> 12) & 0x3F));
          out += char(0x80 | ((code >> 6) & 0x3F));
          out += char(0x80 | (code & 0x3F));
        }
      }

      std::string parseString() {
        ++_pos; // opening quote
        std::string out;
        while(true) {
          if(_pos >= _text.size()) fail("unterminated string");
          char c = _text[_pos++];
          if(c == '"') return out;
          if(static_cast<unsigned char>(c) < 0x20) fail("control character in string");
          if(static_cast<unsigned char>(c) >= 0x80) {
            --_pos;
            auto length = utf8SequenceLength(_text, _pos);
            if(length == 0) fail("invalid UTF-8 in string");
            out.append(_text.substr(_pos, length));
            _pos += length;
            continue;
          }
          if(c != '\\') {
            out += c;
            continue;
          }
          if(_pos >= _text.size()) fail("unterminated escape");
          char e = _text[_pos++];
          switch(e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
              unsigned code = hex4();
              if(code >= 0xD800 && code < 0xDC00) {
                if(!consume("\\u")) fail("lone surrogate");
                unsigned low = hex4();
                if(low < 0xDC00 || low >= 0xE000) fail("bad surrogate pair");
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
              }
              else if(code >= 0xDC00 && code < 0xE000) {
                fail("lone surrogate");
              }
              appendUtf8(out, code);
              break;
            }
            default: fail(std::string("bad escape '\\") + e + "'");
          }
        }
      }

      std::string_view _text;
      Json::Limits _limits;
      std::size_t _pos{0};
    };

  } // namespace

  Json Json::boolean(bool value) {
    Json j;
    j._kind = Kind::boolean;
    j._boolean = value;
    return j;
  }

  Json Json::numberText(std::string text) {
    Json j;
    j._kind = Kind::number;
    j._text = std::move(text);
    return j;
  }

  Json Json::number(double value) {
    if(!std::isfinite(value)) throw logic_error("JSON has no representation of a non-finite number");
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    return numberText(std::string(buffer, result.ptr));
  }

  Json Json::number(std::int64_t value) { return numberText(std::to_string(value)); }
  Json Json::number(std::uint64_t value) { return numberText(std::to_string(value)); }

  Json Json::string(std::string value) {
    Json j;
    j._kind = Kind::string;
    j._text = std::move(value);
    return j;
  }

  Json Json::array(std::vector<Json> items) {
    Json j;
    j._kind = Kind::array;
    j._items = std::move(items);
    return j;
  }

  Json Json::object() {
    Json j;
    j._kind = Kind::object;
    return j;
  }

  std::optional<double> Json::asDouble() const {
    if(_kind != Kind::number) return std::nullopt;
    double value{};
    auto result = std::from_chars(_text.data(), _text.data() + _text.size(), value);
    if(result.ptr != _text.data() + _text.size()) return std::nullopt;
    if(result.ec == std::errc::result_out_of_range) {
      // beyond double: an exponent too large or too small
      bool negative = !_text.empty() && _text.front() == '-';
      auto e = _text.find_first_of("eE");
      bool tiny = e != std::string::npos && e + 1 < _text.size() && _text[e + 1] == '-';
      if(tiny) return negative ? -0.0 : 0.0;
      return negative ? -HUGE_VAL : HUGE_VAL;
    }
    if(result.ec != std::errc{}) return std::nullopt;
    return value;
  }

  std::optional<std::int64_t> Json::asInt64() const {
    if(_kind != Kind::number) return std::nullopt;
    std::int64_t value{};
    auto result = std::from_chars(_text.data(), _text.data() + _text.size(), value);
    if(result.ec != std::errc{} || result.ptr != _text.data() + _text.size()) return std::nullopt;
    return value;
  }

  std::optional<std::uint64_t> Json::asUint64() const {
    if(_kind != Kind::number) return std::nullopt;
    std::uint64_t value{};
    auto result = std::from_chars(_text.data(), _text.data() + _text.size(), value);
    if(result.ec != std::errc{} || result.ptr != _text.data() + _text.size()) return std::nullopt;
    return value;
  }

  const Json* Json::find(std::string_view key) const {
    for(auto& [name, value] : _members)
      if(name == key) return &value;
    return nullptr;
  }

  Json& Json::set(std::string key, Json value) {
    if(_kind != Kind::object) throw logic_error("JSON set() on a value that is not an object");
    _members.emplace_back(std::move(key), std::move(value));
    return *this;
  }

  Json& Json::push(Json value) {
    if(_kind != Kind::array) throw logic_error("JSON push() on a value that is not an array");
    _items.push_back(std::move(value));
    return *this;
  }

  Json Json::parse(std::string_view text, Limits limits) { return Parser(text, limits).document(); }

  std::string Json::dump() const {
    std::string out;
    dumpTo(out);
    return out;
  }

  void Json::dumpTo(std::string& out) const {
    switch(_kind) {
      case Kind::null: out += "null"; break;
      case Kind::boolean: out += _boolean ? "true" : "false"; break;
      case Kind::number: out += _text; break;
      case Kind::string: appendQuoted(out, _text); break;
      case Kind::array: {
        out += '[';
        bool first = true;
        for(auto& item : _items) {
          if(!first) out += ',';
          first = false;
          item.dumpTo(out);
        }
        out += ']';
        break;
      }
      case Kind::object: {
        out += '{';
        bool first = true;
        for(auto& [key, value] : _members) {
          if(!first) out += ',';
          first = false;
          appendQuoted(out, key);
          out += ':';
          value.dumpTo(out);
        }
        out += '}';
        break;
      }
    }
  }

  bool Json::isValidUtf8(std::string_view text) {
    for(std::size_t pos = 0; pos < text.size();) {
      auto length = utf8SequenceLength(text, pos);
      if(length == 0) return false;
      pos += length;
    }
    return true;
  }

  void Json::appendQuoted(std::string& out, std::string_view value) {
    static constexpr char hex[] = "0123456789abcdef";
    static constexpr std::string_view replacement = "\xEF\xBF\xBD"; // U+FFFD
    out += '"';
    for(std::size_t pos = 0; pos < value.size(); ++pos) {
      char c = value[pos];
      auto u = static_cast<unsigned char>(c);
      if(u >= 0x80) {
        auto length = utf8SequenceLength(value, pos);
        if(length == 0) {
          out += replacement;
          continue;
        }
        out.append(value.substr(pos, length));
        pos += length - 1;
        continue;
      }
      switch(c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
          if(u < 0x20) {
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 0xF];
          }
          else {
            out += c;
          }
      }
    }
    out += '"';
  }

} // namespace Corvane::Cs
