// Register names and paths. A register map names registers with components joined by "."
// or "/" ("Controller.Status.controllerStatus"); the canonical form is the absolute "/"-path
// ("/Controller/Status/controllerStatus"). Components hold [A-Za-z0-9_-].
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Corvane {

  class RegisterPath {
   public:
    /// Canonical form of a name or path; one leading separator is allowed. Returns nothing for
    /// empty components or characters outside [A-Za-z0-9_-]. "" and "/" give the root "/".
    static std::optional<std::string> normalise(std::string_view name);

    /// True when `path` lies strictly below the directory `directory` (both canonical).
    static bool isBelow(std::string_view path, std::string_view directory);

    /// `path` relative to `directory` (both canonical, path below directory), without a leading "/".
    static std::string relativeTo(std::string_view path, std::string_view directory);

    /// Components of a canonical path.
    static std::vector<std::string> components(std::string_view path);
  };

} // namespace Corvane
