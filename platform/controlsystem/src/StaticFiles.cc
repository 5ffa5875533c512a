#include "StaticFiles.h"

#include <dlfcn.h>

#include <cstdlib>
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

    std::filesystem::path environmentPath(const char* name) {
      const char* value = std::getenv(name);
      return value && *value ? std::filesystem::path(value) : std::filesystem::path();
    }

    /// The file this library was loaded from (empty when the loader cannot say).
    std::filesystem::path thisLibrary() {
      Dl_info info{};
      if(dladdr(reinterpret_cast<const void*>(&thisLibrary), &info) == 0 || !info.dli_fname) return {};
      std::error_code ignored;
      auto file = std::filesystem::canonical(info.dli_fname, ignored);
      return file.empty() ? std::filesystem::path(info.dli_fname) : file;
    }

    constexpr const char* pageFile = "index.html";
    constexpr const char* plotLibraryFile = "uPlot.iife.min.js";
  } // namespace

  std::filesystem::path StaticFiles::defaultWebRoot() {
    auto library = thisLibrary();
    if(library.empty()) return {};
    return (library.parent_path() / CORVANE_CS_WEB_DIR_FROM_LIBRARY).lexically_normal();
  }

  std::filesystem::path StaticFiles::webRootFromEnvironment() {
    auto fromEnvironment = environmentPath("CORVANE_CS_WEB_DIR");
    return fromEnvironment.empty() ? defaultWebRoot() : fromEnvironment;
  }

  std::filesystem::path StaticFiles::plotLibraryDirFromEnvironment(const std::filesystem::path& webRoot) {
    auto fromEnvironment = environmentPath("CORVANE_CS_PLOT_DIR");
    return fromEnvironment.empty() ? webRoot / "node_modules" / "uplot" / "dist" : fromEnvironment;
  }

  std::vector<std::string> StaticFiles::missingFiles(
      const std::filesystem::path& webRoot, const std::filesystem::path& plotLibraryDir) {
    std::vector<std::string> warnings;
    std::error_code ignored;
    if(!std::filesystem::is_regular_file(webRoot / pageFile, ignored)) {
      warnings.push_back("no operator page (" + std::string(pageFile) + ") in " + webRoot.string() +
          ": \"/\" answers 404; set CORVANE_CS_WEB_DIR to the page's folder");
    }
    if(!std::filesystem::is_regular_file(plotLibraryDir / plotLibraryFile, ignored)) {
      warnings.push_back("no plotting library (" + std::string(plotLibraryFile) + ") in " + plotLibraryDir.string() +
          ": the operator page cannot plot arrays; run scripts/install-deps.sh before building and installing, "
          "or set CORVANE_CS_PLOT_DIR to the folder of uPlot's distribution files");
    }
    return warnings;
  }

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
