#include "Corvane/RegisterPath.h"

namespace Corvane {

  namespace {
    bool isSeparator(char c) { return c == '.' || c == '/'; }

    bool isNameCharacter(char c) {
      return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    }
  } // namespace

  std::optional<std::string> RegisterPath::normalise(std::string_view name) {
    if(!name.empty() && isSeparator(name.front())) name.remove_prefix(1);
    std::string result;
    if(name.empty()) return std::string("/");
    std::size_t componentLength = 0;
    result.push_back('/');
    for(char c : name) {
      if(isSeparator(c)) {
        if(componentLength == 0) return std::nullopt;
        result.push_back('/');
        componentLength = 0;
      }
      else if(isNameCharacter(c)) {
        result.push_back(c);
        ++componentLength;
      }
      else {
        return std::nullopt;
      }
    }
    if(componentLength == 0) return std::nullopt;
    return result;
  }

  bool RegisterPath::isBelow(std::string_view path, std::string_view directory) {
    if(directory == "/") return path.size() > 1;
    return path.size() > directory.size() + 1 && path.starts_with(directory) && path[directory.size()] == '/';
  }

  std::string RegisterPath::relativeTo(std::string_view path, std::string_view directory) {
    if(directory == "/") return std::string(path.substr(1));
    return std::string(path.substr(directory.size() + 1));
  }

  std::vector<std::string> RegisterPath::components(std::string_view path) {
    std::vector<std::string> result;
    std::size_t start = 1;
    while(start < path.size()) {
      auto end = path.find('/', start);
      if(end == std::string_view::npos) end = path.size();
      result.emplace_back(path.substr(start, end - start));
      start = end + 1;
    }
    return result;
  }

} // namespace Corvane
