#include "Corvane/Cs/Url.h"

#include "Corvane/Cs/RequestError.h"

namespace Corvane::Cs {

  namespace {
    int hexDigit(char c) {
      if(c >= '0' && c <= '9') return c - '0';
      if(c >= 'a' && c <= 'f') return c - 'a' + 10;
      if(c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    }
  } // namespace

  std::string Url::percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for(std::size_t i = 0; i < text.size(); ++i) {
      if(text[i] != '%') {
        out += text[i];
        continue;
      }
      int high = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
      int low = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
      if(high < 0 || low < 0) throw RequestError(400, "malformed percent escape in the request target");
      out += static_cast<char>(high * 16 + low);
      i += 2;
    }
    return out;
  }

  std::pair<std::string, std::string> Url::splitTarget(const std::string& target) {
    auto q = target.find('?');
    std::string path = percentDecode(std::string_view(target).substr(0, q));
    std::string query = q == std::string::npos ? std::string() : target.substr(q + 1);
    return {path, query};
  }

  std::string Url::queryParameter(const std::string& query, const std::string& name) {
    std::size_t start = 0;
    while(start <= query.size()) {
      auto end = query.find('&', start);
      if(end == std::string::npos) end = query.size();
      std::string_view part(query.data() + start, end - start);
      auto eq = part.find('=');
      if(part.substr(0, eq) == name) return eq == std::string_view::npos ? std::string() : percentDecode(part.substr(eq + 1));
      start = end + 1;
    }
    return {};
  }

} // namespace Corvane::Cs
