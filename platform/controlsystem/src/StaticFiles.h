// The operator page's files: the page itself from the web root and the plotting library from
// its npm distribution directory. Only plain file names are served, nothing outside these two
// directories.
//
// Where they are: CORVANE_CS_WEB_DIR and CORVANE_CS_PLOT_DIR when set; otherwise the installed
// page, <prefix>/share/corvane-cs/web, found relative to this library (<prefix>/lib; the build
// tree has the same layout), and the plotting library in its node_modules/uplot/dist.
#pragma once

#include "Corvane/Cs/ApiHandler.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace Corvane::Cs {

  class StaticFiles {
   public:
    StaticFiles(std::filesystem::path webRoot, std::filesystem::path plotLibraryDir);

    /// The file for a GET of `path` ("/" is index.html), or nothing when there is none.
    std::optional<HttpResponse> get(const std::string& path) const;

    static std::string contentType(const std::filesystem::path& file);

    /// The page's directory and the plotting library's, as described above.
    static std::filesystem::path defaultWebRoot();
    static std::filesystem::path webRootFromEnvironment();
    static std::filesystem::path plotLibraryDirFromEnvironment(const std::filesystem::path& webRoot);

    /// What is missing from the two directories, one warning each (naming the folder looked
    /// in); empty when the page and its plotting library are there.
    static std::vector<std::string> missingFiles(
        const std::filesystem::path& webRoot, const std::filesystem::path& plotLibraryDir);

   private:
    std::filesystem::path _webRoot;
    std::filesystem::path _plotLibraryDir;
  };

} // namespace Corvane::Cs
