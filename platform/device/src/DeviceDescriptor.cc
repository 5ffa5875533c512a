#include "Corvane/DeviceDescriptor.h"

#include "Corvane/Exception.h"

namespace Corvane {

  namespace {
    bool isIdentifier(std::string_view text) {
      if(text.empty()) return false;
      for(char c : text) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if(!ok) return false;
      }
      return true;
    }

    std::string_view trim(std::string_view text) {
      while(!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
      while(!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
      return text;
    }
  } // namespace

  bool DeviceDescriptor::isDescriptor(std::string_view text) {
    text = trim(text);
    return !text.empty() && text.front() == '(';
  }

  DeviceDescriptor DeviceDescriptor::parse(std::string_view text) {
    auto original = std::string(text);
    text = trim(text);
    if(text.size() < 2 || text.front() != '(' || text.back() != ')') {
      throw Corvane::logic_error("device descriptor \"" + original + "\" must be written (TYPE:ADDRESS?key=value&...)");
    }
    text = text.substr(1, text.size() - 2);
    if(text.find(')') != std::string_view::npos) {
      throw Corvane::logic_error("device descriptor \"" + original + "\" has text after its closing parenthesis");
    }
    DeviceDescriptor descriptor;
    auto query = text.find('?');
    std::string_view head = text.substr(0, query);
    auto colon = head.find(':');
    descriptor.type = std::string(head.substr(0, colon));
    if(colon != std::string_view::npos) descriptor.address = std::string(head.substr(colon + 1));
    if(!isIdentifier(descriptor.type)) {
      throw Corvane::logic_error("device descriptor \"" + original + "\": invalid type \"" + descriptor.type + "\"");
    }
    if(descriptor.address.find_first_of("&=") != std::string::npos) {
      throw Corvane::logic_error("device descriptor \"" + original + "\": address \"" + descriptor.address +
          "\" contains '&' or '='");
    }
    if(query == std::string_view::npos) return descriptor;

    std::string_view rest = text.substr(query + 1);
    while(true) {
      auto amp = rest.find('&');
      std::string_view pair = rest.substr(0, amp);
      auto equals = pair.find('=');
      if(equals == std::string_view::npos) {
        throw Corvane::logic_error("device descriptor \"" + original + "\": parameter \"" + std::string(pair) +
            "\" is not key=value");
      }
      std::string key(pair.substr(0, equals));
      std::string value(pair.substr(equals + 1));
      if(!isIdentifier(key)) {
        throw Corvane::logic_error("device descriptor \"" + original + "\": invalid parameter name \"" + key + "\"");
      }
      if(value.find_first_of("?=") != std::string::npos) {
        throw Corvane::logic_error("device descriptor \"" + original + "\": value of " + key + " contains '?' or '='");
      }
      if(!descriptor.parameters.emplace(key, value).second) {
        throw Corvane::logic_error("device descriptor \"" + original + "\": parameter " + key + " given twice");
      }
      if(amp == std::string_view::npos) break;
      rest = rest.substr(amp + 1);
    }
    return descriptor;
  }

  std::string DeviceDescriptor::str() const {
    std::string text = "(" + type;
    if(!address.empty()) text += ":" + address;
    char separator = '?';
    for(const auto& [key, value] : parameters) {
      text += separator + key + "=" + value;
      separator = '&';
    }
    return text + ")";
  }

  std::string DeviceDescriptor::parameter(const std::string& key) const {
    auto found = parameters.find(key);
    return found == parameters.end() ? std::string() : found->second;
  }

} // namespace Corvane
