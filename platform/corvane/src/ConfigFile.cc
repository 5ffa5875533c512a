#include "Corvane/ConfigFile.h"

#include "Corvane/Exception.h"
#include "Corvane/TextFile.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace Corvane {

  namespace {

    constexpr std::array<std::string_view, 8> typeNames{
        "int32", "uint32", "int64", "uint64", "float", "double", "string", "boolean"};

    std::string inQuotes(std::string_view text) {
      return "\"" + std::string(text) + "\"";
    }

    // Maps byte offsets (as pugixml reports them) to line numbers counted from 1.
    class LineTable {
     public:
      explicit LineTable(std::string_view text) {
        lineStarts_.push_back(0);
        for(std::size_t i = 0; i < text.size(); ++i) {
          if(text[i] == '\n') lineStarts_.push_back(i + 1);
        }
      }

      std::size_t lineOf(std::ptrdiff_t offset) const {
        if(offset < 0) return 0;
        auto after = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), static_cast<std::size_t>(offset));
        return static_cast<std::size_t>(after - lineStarts_.begin());
      }

     private:
      std::vector<std::size_t> lineStarts_;
    };

    // Empty on success, else why the text is not a value of type T.
    template<class T>
    std::string parseNumber(std::string_view text, T& out) {
      if(text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
      if(text.empty()) return "is empty";
      const char* end = text.data() + text.size();

      if constexpr(std::is_unsigned_v<T>) {
        // from_chars rejects a sign on unsigned types; "-5" is a number, just not one of this type.
        if(text.front() == '-') {
          T magnitude{};
          auto [ptr, ec] = std::from_chars(text.data() + 1, end, magnitude);
          if(text.size() == 1 || ptr != end || (ec != std::errc{} && ec != std::errc::result_out_of_range)) {
            return "is not a number";
          }
          if(ec == std::errc{} && magnitude == 0) {
            out = 0;
            return {};
          }
          return "is out of range";
        }
      }

      std::from_chars_result result{};
      if constexpr(std::is_floating_point_v<T>) {
        result = std::from_chars(text.data(), end, out, std::chars_format::general);
      }
      else {
        result = std::from_chars(text.data(), end, out);
      }
      if(result.ec == std::errc::invalid_argument || result.ptr != end) return "is not a number";
      if(result.ec == std::errc::result_out_of_range) return "is out of range";
      if(result.ec != std::errc{}) return "is not a number";
      if constexpr(std::is_floating_point_v<T>) {
        if(!std::isfinite(out)) return "is not a finite number";
      }
      return {};
    }

    std::string parseBoolean(std::string_view text, bool& out) {
      if(text == "true" || text == "1") {
        out = true;
        return {};
      }
      if(text == "false" || text == "0") {
        out = false;
        return {};
      }
      return "is not a boolean (true, false, 1 or 0)";
    }

    // Appends the parsed text to the vector held by `values`; empty on success, else the reason.
    std::string appendValue(ConfigFile::Values& values, std::string_view text) {
      return std::visit(
          [&](auto& vector) -> std::string {
            using Element = typename std::decay_t<decltype(vector)>::value_type;
            if constexpr(std::is_same_v<Element, std::string>) {
              vector.emplace_back(text);
              return {};
            }
            else if constexpr(std::is_same_v<Element, bool>) {
              bool value{};
              auto error = parseBoolean(text, value);
              if(error.empty()) vector.push_back(value);
              return error;
            }
            else {
              Element value{};
              auto error = parseNumber(text, value);
              if(error.empty()) vector.push_back(value);
              return error;
            }
          },
          values);
    }

    ConfigFile::Values emptyValues(std::size_t typeIndex) {
      switch(typeIndex) {
        case 0: return std::vector<std::int32_t>{};
        case 1: return std::vector<std::uint32_t>{};
        case 2: return std::vector<std::int64_t>{};
        case 3: return std::vector<std::uint64_t>{};
        case 4: return std::vector<float>{};
        case 5: return std::vector<double>{};
        case 6: return std::vector<std::string>{};
        default: return std::vector<bool>{};
      }
    }

    bool isValidName(std::string_view name) {
      if(name.empty() || name == "." || name == "..") return false;
      return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
            c == '-';
      });
    }

    // Walks the document and fills entries and index; every error names file, line and key.
    class Parser {
     public:
      Parser(const std::string& fileName, std::string_view content, std::vector<ConfigFile::Entry>& entries,
          std::unordered_map<std::string, std::size_t>& index)
      : fileName_(fileName), lines_(content), entries_(entries), index_(index) {}

      void parseDocument(const pugi::xml_document& document) {
        // pugixml accepts several top-level elements; all but the first would be ignored silently.
        auto second = document.document_element().next_sibling();
        while(second && second.type() != pugi::node_element) second = second.next_sibling();
        if(second) failIn(second, "", "malformed XML: a second root element <" + std::string(second.name()) + ">");
        parseChildren(document.document_element(), "");
      }

      void parseChildren(const pugi::xml_node& parent, const std::string& prefix) {
        for(const auto& node : parent.children()) {
          if(node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
            failIn(node, prefix, "unexpected text " + inQuotes(trimmed(node.value())));
          }
          if(node.type() != pugi::node_element) continue;
          std::string_view element = node.name();
          if(element == "module") {
            checkAttributes(node, prefix, {"name"}, false);
            auto key = childKey(node, prefix, "module");
            parseChildren(node, key);
          }
          else if(element == "variable") {
            parseVariable(node, prefix);
          }
          else {
            failIn(node, prefix, "unexpected element <" + std::string(element) + ">, expected <module> or <variable>");
          }
        }
      }

      // A key that lies below another key would make a variable also a directory.
      void checkNesting() const {
        for(const auto& entry : entries_) {
          for(auto slash = entry.key.find('/'); slash != std::string::npos; slash = entry.key.find('/', slash + 1)) {
            auto found = index_.find(entry.key.substr(0, slash));
            if(found == index_.end()) continue;
            const auto& outer = entries_[found->second];
            throw logic_error(location(entry.line, entry.key) + "lies below the variable " + inQuotes(outer.key) +
                " (line " + std::to_string(outer.line) + ")");
          }
        }
      }

     private:
      // Text nodes start with the blanks after the preceding tag; count from the text itself.
      std::size_t lineOf(const pugi::xml_node& node) const {
        auto offset = node.offset_debug();
        if(node.type() == pugi::node_pcdata) {
          std::string_view value = node.value();
          offset += static_cast<std::ptrdiff_t>(std::min(value.find_first_not_of(" \t\r\n"), value.size()));
        }
        return lines_.lineOf(offset);
      }

      static std::string trimmed(std::string_view text) {
        auto first = text.find_first_not_of(" \t\r\n");
        if(first == std::string_view::npos) return {};
        return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
      }

      std::string location(std::size_t line, std::string_view key) const {
        return fileName_ + ":" + std::to_string(line) + ": key " + inQuotes(key) + ": ";
      }

      // Errors within a variable name its key.
      [[noreturn]] void fail(const pugi::xml_node& node, std::string_view key, const std::string& what) const {
        throw logic_error(location(lineOf(node), key) + what);
      }

      // Errors before a key is known name the enclosing module ("" at the root).
      [[noreturn]] void failIn(const pugi::xml_node& node, std::string_view module, const std::string& what) const {
        auto text = fileName_ + ":" + std::to_string(lineOf(node)) + ": ";
        if(!module.empty()) text += "in module " + inQuotes(module) + ": ";
        throw logic_error(text + what);
      }

      // `where` is a key when inKey, else the enclosing module.
      void checkAttributes(const pugi::xml_node& node, std::string_view where,
          std::initializer_list<std::string_view> allowed, bool inKey) const {
        for(const auto& attribute : node.attributes()) {
          std::string what;
          if(std::find(allowed.begin(), allowed.end(), attribute.name()) == allowed.end()) {
            what = "unknown attribute " + inQuotes(attribute.name()) + " of <" + node.name() + ">";
          }
          else if(attribute != node.attribute(attribute.name())) {
            // pugixml keeps repeated attributes; only the first would be read
            what = "attribute " + inQuotes(attribute.name()) + " of <" + node.name() + "> given twice";
          }
          if(what.empty()) continue;
          if(inKey) fail(node, where, what);
          failIn(node, where, what);
        }
      }

      std::string childKey(const pugi::xml_node& node, const std::string& prefix, std::string_view what) const {
        auto name = node.attribute("name");
        if(!name) failIn(node, prefix, "<" + std::string(what) + "> without attribute \"name\"");
        if(!isValidName(name.value())) {
          failIn(node, prefix,
              "invalid " + std::string(what) + " name " + inQuotes(name.value()) +
                  " (allowed: letters, digits, '_', '.', '-'; not \".\" or \"..\")");
        }
        return prefix.empty() ? std::string(name.value()) : prefix + "/" + name.value();
      }

      void parseVariable(const pugi::xml_node& node, const std::string& prefix) {
        ConfigFile::Entry entry;
        entry.key = childKey(node, prefix, "variable");
        checkAttributes(node, entry.key, {"name", "type", "value"}, true);
        entry.line = lines_.lineOf(node.offset_debug());

        auto type = node.attribute("type");
        if(!type) fail(node, entry.key, "<variable> without attribute \"type\"");
        auto typeIt = std::find(typeNames.begin(), typeNames.end(), std::string_view(type.value()));
        if(typeIt == typeNames.end()) {
          fail(node, entry.key,
              "unknown type " + inQuotes(type.value()) +
                  " (known: int32, uint32, int64, uint64, float, double, string, boolean)");
        }
        auto typeIndex = static_cast<std::size_t>(typeIt - typeNames.begin());
        entry.typeName = *typeIt;
        entry.values = emptyValues(typeIndex);

        if(auto previous = index_.find(entry.key); previous != index_.end()) {
          fail(node, entry.key, "duplicate key, first defined in line " + std::to_string(entries_[previous->second].line));
        }

        auto value = node.attribute("value");
        bool hasElements = false;
        for(const auto& child : node.children()) {
          if(child.type() == pugi::node_element && std::string_view(child.name()) == "value") {
            hasElements = true;
          }
          else if(child.type() == pugi::node_element) {
            fail(child, entry.key, "unexpected element <" + std::string(child.name()) + ">, expected <value>");
          }
          else if(child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
            fail(child, entry.key, "unexpected text " + inQuotes(trimmed(child.value())));
          }
        }
        if(value && hasElements) fail(node, entry.key, "has both a \"value\" attribute and <value> elements");
        if(!value && !hasElements) fail(node, entry.key, "<variable> without attribute \"value\" or <value> elements");

        if(value) {
          if(auto error = appendValue(entry.values, value.value()); !error.empty()) {
            fail(node, entry.key, "value " + inQuotes(value.value()) + " " + error + " for type " + entry.typeName);
          }
        }
        else {
          parseArray(node, entry);
        }

        entry.isArray = hasElements;
        entry.nElements = std::visit([](const auto& v) { return v.size(); }, entry.values);
        index_.emplace(entry.key, entries_.size());
        entries_.push_back(std::move(entry));
      }

      void parseArray(const pugi::xml_node& node, ConfigFile::Entry& entry) const {
        // Collect by index first: elements may come in any order, each index exactly once.
        std::map<std::size_t, pugi::xml_node> byIndex;
        for(const auto& child : node.children("value")) {
          checkAttributes(child, entry.key, {"i", "v"}, true);
          auto i = child.attribute("i");
          if(!i) fail(child, entry.key, "<value> without attribute \"i\"");
          if(!child.attribute("v")) fail(child, entry.key, "<value> without attribute \"v\"");
          std::size_t position{};
          std::string_view text = i.value();
          auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), position);
          if(text.empty() || ec != std::errc{} || ptr != text.data() + text.size()) {
            fail(child, entry.key, "index i=" + inQuotes(text) + " is not a non-negative integer");
          }
          auto [it, inserted] = byIndex.emplace(position, child);
          if(!inserted) {
            fail(child, entry.key,
                "index " + std::to_string(position) + " given twice (first in line " +
                    std::to_string(lines_.lineOf(it->second.offset_debug())) + ")");
          }
        }
        std::size_t expected = 0;
        for(const auto& [position, child] : byIndex) {
          if(position != expected) {
            fail(node, entry.key,
                "index " + std::to_string(expected) + " is missing (the " + std::to_string(byIndex.size()) +
                    " elements must have the indices 0.." + std::to_string(byIndex.size() - 1) + ")");
          }
          std::string_view text = child.attribute("v").value();
          if(auto error = appendValue(entry.values, text); !error.empty()) {
            fail(child, entry.key,
                "element " + std::to_string(position) + ": value " + inQuotes(text) + " " + error + " for type " +
                    entry.typeName);
          }
          ++expected;
        }
      }

      const std::string& fileName_;
      LineTable lines_;
      std::vector<ConfigFile::Entry>& entries_;
      std::unordered_map<std::string, std::size_t>& index_;
    };

  } // namespace

  ConfigFile::ConfigFile(std::string fileName) : fileName_(std::move(fileName)) {
    auto content = TextFile::read(fileName_, "configuration file");
    pugi::xml_document document;
    auto result = document.load_buffer(content.data(), content.size());
    if(!result) {
      auto line = LineTable(content).lineOf(result.offset);
      throw logic_error(fileName_ + ":" + std::to_string(line) + ": malformed XML: " + result.description());
    }
    Parser parser(fileName_, content, entries_, index_);
    parser.parseDocument(document);
    parser.checkNesting();
  }

  const ConfigFile::Entry& ConfigFile::entry(const std::string& key) const {
    auto found = index_.find(key);
    if(found == index_.end()) {
      throw logic_error("configuration file " + inQuotes(fileName_) + " has no key " + inQuotes(key));
    }
    return entries_[found->second];
  }

  std::string ConfigFile::describe(const std::string& key) const {
    auto found = index_.find(key);
    if(found == index_.end()) return "key " + inQuotes(key) + " of " + inQuotes(fileName_);
    return fileName_ + ":" + std::to_string(entries_[found->second].line) + ": key " + inQuotes(key);
  }

  const char* ConfigFile::typeNameAt(std::size_t typeIndex) {
    return typeNames.at(typeIndex).data();
  }

  const ConfigFile::Entry& ConfigFile::checked(const std::string& key, std::size_t typeIndex, bool isArray) const {
    auto describe = [](std::string_view typeName, bool array) {
      return std::string(typeName) + (array ? " array" : "");
    };
    auto requested = describe(typeNames.at(typeIndex), isArray);
    auto found = index_.find(key);
    if(found == index_.end()) {
      throw logic_error("configuration file " + inQuotes(fileName_) + " has no key " + inQuotes(key) + " (requested " +
          requested + ")");
    }
    const auto& entry = entries_[found->second];
    if(entry.values.index() != typeIndex || entry.isArray != isArray) {
      throw logic_error(fileName_ + ":" + std::to_string(entry.line) + ": key " + inQuotes(key) + " is " +
          describe(entry.typeName, entry.isArray) + ", requested " + requested);
    }
    return entry;
  }

} // namespace Corvane
