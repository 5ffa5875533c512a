// The operator page's files: the page itself from the web root and the plotting library from
// its npm distribution directory. Only plain file names are served, nothing outside these two
// directories.
#pragma once

#include "Corvane/Cs/ApiHandler.h"

#include <filesystem>
#include <optional>

namespace Corvane::Cs {

  class StaticFiles {
   public:
    StaticFiles(std::filesystem::path webRoot, std::filesystem::path plotLibraryDir);

    /// The file for a GET of `path` ("/" is index.html), or nothing when there is none.
    std::optional<HttpResponse> get(const std::string& path) const;

    static std::string contentType(const std::filesystem::path& file);

   private:
    std::filesystem::path _webRoot;
    std::filesystem::path _plotLibraryDir;
  };

} // namespace Corvane::Cs
