#include "Corvane/Utilities.h"

#include "Corvane/Exception.h"

#include <cstdio>

namespace Corvane::Utilities {

  std::string escapeName(const std::string& name, bool allowDotsAndSlashes) {
    std::string out;
    out.reserve(name.size());
    for(unsigned char c : name) {
      bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
      if(allowDotsAndSlashes && (c == '.' || c == '/')) plain = true;
      if(plain) {
        out += static_cast<char>(c);
      }
      else {
        char buf[4];
        std::snprintf(buf, sizeof buf, "_%02x", c);
        out += buf;
      }
    }
    return out;
  }

  std::string unescapeName(const std::string& escaped) {
    auto hex = [](char c) -> int {
      if(c >= '0' && c <= '9') return c - '0';
      if(c >= 'a' && c <= 'f') return c - 'a' + 10;
      return -1;
    };
    std::string out;
    for(std::size_t i = 0; i < escaped.size(); ++i) {
      if(escaped[i] != '_') {
        out += escaped[i];
        continue;
      }
      int high = i + 2 < escaped.size() ? hex(escaped[i + 1]) : -1;
      int low = i + 2 < escaped.size() ? hex(escaped[i + 2]) : -1;
      if(high < 0 || low < 0) throw logic_error("'" + escaped + "' is not an escaped name");
      out += static_cast<char>(high * 16 + low);
      i += 2;
    }
    return out;
  }

  std::string getPathName(const std::string& path) {
    auto pos = path.find_last_of('/');
    if(pos == std::string::npos) return ".";
    if(pos == 0) return "/";
    return path.substr(0, pos);
  }

  std::string getUnqualifiedName(const std::string& path) {
    auto pos = path.find_last_of('/');
    if(pos == std::string::npos) return path;
    return path.substr(pos + 1);
  }

  std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string current;
    for(char c : path) {
      if(c == '/') {
        if(!current.empty()) parts.push_back(std::move(current));
        current.clear();
      }
      else {
        current += c;
      }
    }
    if(!current.empty()) parts.push_back(std::move(current));
    return parts;
  }

  static bool validCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
        c == '-' || c == '/';
  }

  std::string resolvePath(const std::string& directory, const std::string& name, std::string& error) {
    if(name.empty()) {
      error = "empty name";
      return {};
    }
    for(char c : name) {
      if(!validCharacter(c)) {
        error = std::string("invalid character '") + c + "'";
        return {};
      }
    }
    std::vector<std::string> parts;
    if(name.front() != '/') parts = splitPath(directory);
    std::size_t start = name.front() == '/' ? 1 : 0;
    if(name.size() > 1 && name.back() == '/') {
      error = "trailing '/'";
      return {};
    }
    std::size_t pos = start;
    while(pos <= name.size()) {
      auto next = name.find('/', pos);
      if(next == std::string::npos) next = name.size();
      std::string component = name.substr(pos, next - pos);
      if(component.empty()) {
        if(!(name == "/" && pos == 1)) {
          error = "empty path component";
          return {};
        }
      }
      else if(component == "..") {
        if(parts.empty()) {
          error = "'..' climbs above the root";
          return {};
        }
        parts.pop_back();
      }
      else if(component != ".") {
        parts.push_back(std::move(component));
      }
      pos = next + 1;
    }
    std::string result;
    for(auto& p : parts) result += "/" + p;
    return result.empty() ? "/" : result;
  }

} // namespace Corvane::Utilities
