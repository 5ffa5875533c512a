#include "StaticFiles.h"

#include <fstream>
#include <sstream>

namespace Corvane::Cs {

  namespace {
    bool isPlainName(const std::string& name) {
      if(name.empty() || name.front() == '.') return false;
      for(char c : name) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
            c == '-';
        if(!ok) return false;
      }
      return true;
    }
  } // namespace

  StaticFiles::StaticFiles(std::filesystem::path webRoot, std::filesystem::path plotLibraryDir)
  : _webRoot(std::move(webRoot)), _plotLibraryDir(std::move(plotLibraryDir)) {}

  std::string StaticFiles::contentType(const std::filesystem::path& file) {
    auto extension = file.extension().string();
    if(extension == ".html") return "text/html; charset=utf-8";
    if(extension == ".js" || extension == ".mjs") return "text/javascript; charset=utf-8";
    if(extension == ".css") return "text/css; charset=utf-8";
    if(extension == ".json") return "application/json";
    if(extension == ".svg") return "image/svg+xml";
    if(extension == ".png") return "image/png";
    return "application/octet-stream";
  }

  std::optional<HttpResponse> StaticFiles::get(const std::string& path) const {
    std::filesystem::path file;
    constexpr std::string_view vendor = "/vendor/uplot/";
    if(path == "/" || path == "/index.html") {
      file = _webRoot / "index.html";
    }
    else if(path.starts_with(vendor)) {
      auto name = path.substr(vendor.size());
      if(!isPlainName(name) || _plotLibraryDir.empty()) return std::nullopt;
      file = _plotLibraryDir / name;
    }
    else {
      auto name = path.substr(1);
      if(!isPlainName(name) || _webRoot.empty()) return std::nullopt;
      file = _webRoot / name;
    }
    std::ifstream in(file, std::ios::binary);
    if(!in) return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    HttpResponse response;
    response.contentType = contentType(file);
    response.body = content.str();
    response.headers.emplace_back("Cache-Control", "no-cache");
    return response;
  }

} // namespace Corvane::Cs
