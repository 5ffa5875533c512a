// A small JSON document model for the control-system adapter: requests, the persisted-settings
// file and the device backend's replies.
//
// Numbers keep their source text, so integers of 64 bits survive a round trip exactly and a
// document written again reads back byte for byte. Object members keep their order. Parsing
// is strict (RFC 8259) with a nesting limit; errors name the offset in the text. Strings must be
// UTF-8: a string holding an invalid sequence is malformed JSON. Text written by the model is
// valid UTF-8 whatever its strings hold (see appendQuoted).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Corvane::Cs {

  class Json {
   public:
    enum class Kind { null, boolean, number, string, array, object };

    Json() = default;
    static Json boolean(bool value);
    /// A number from its JSON text (not checked here; use the numeric factories where possible).
    static Json numberText(std::string text);
    static Json number(double value);
    static Json number(std::int64_t value);
    static Json number(std::uint64_t value);
    static Json string(std::string value);
    static Json array(std::vector<Json> items = {});
    static Json object();

    Kind kind() const { return _kind; }
    bool isNull() const { return _kind == Kind::null; }
    bool isBoolean() const { return _kind == Kind::boolean; }
    bool isNumber() const { return _kind == Kind::number; }
    bool isString() const { return _kind == Kind::string; }
    bool isArray() const { return _kind == Kind::array; }
    bool isObject() const { return _kind == Kind::object; }

    bool asBoolean() const { return _boolean; }
    /// Text of a number or content of a string.
    const std::string& text() const { return _text; }
    std::optional<double> asDouble() const;
    std::optional<std::int64_t> asInt64() const;
    std::optional<std::uint64_t> asUint64() const;

    const std::vector<Json>& items() const { return _items; }
    std::vector<Json>& items() { return _items; }
    const std::vector<std::pair<std::string, Json>>& members() const { return _members; }

    /// Member of an object, or null when absent (or not an object).
    const Json* find(std::string_view key) const;
    /// Appends a member (objects) or an item (arrays); returns *this for chaining.
    Json& set(std::string key, Json value);
    Json& push(Json value);

    struct Limits {
      std::size_t maxDepth{64};
    };
    /// Parses a whole document; Corvane::runtime_error naming the offset when it is malformed.
    static Json parse(std::string_view text, Limits limits);
    static Json parse(std::string_view text) { return parse(text, Limits{}); }

    /// Compact text of the document.
    std::string dump() const;
    void dumpTo(std::string& out) const;

    /// Appends `value` as a quoted JSON string. Every byte that does not belong to a valid UTF-8
    /// sequence is written as U+FFFD, so the result is valid UTF-8 also for strings the server
    /// did not check (a device's text, a path a client typed).
    static void appendQuoted(std::string& out, std::string_view value);

    /// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or values beyond U+10FFFF).
    static bool isValidUtf8(std::string_view text);

   private:
    Kind _kind{Kind::null};
    bool _boolean{false};
    std::string _text;
    std::vector<Json> _items;
    std::vector<std::pair<std::string, Json>> _members;
  };

} // namespace Corvane::Cs
