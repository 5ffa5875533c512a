// Helpers on variable names and paths.
//
// Paths are "/"-separated; names given to entities may be relative (to the owner's directory),
// absolute (leading "/"), contain several components, "." (no level) and ".." (one level up).
#pragma once

#include <string>
#include <vector>

namespace Corvane::Utilities {

  /// Makes a string usable as a name. Characters outside [A-Za-z0-9_] (and "." and "/" when
  /// allowed) are replaced by "_" followed by their two hex digits, so the mapping is injective.
  std::string escapeName(const std::string& name, bool allowDotsAndSlashes = false);

  /// Reverses escapeName().
  std::string unescapeName(const std::string& escaped);

  /// Directory part of a path: "a/b/c" -> "a/b", "/x" -> "/", "c" -> ".".
  std::string getPathName(const std::string& path);

  /// Last component of a path: "a/b/c" -> "c".
  std::string getUnqualifiedName(const std::string& path);

  /// Applies a name to a directory: returns the normalised absolute path, or an empty string
  /// with `error` set when the name is invalid (bad characters, empty component, above root).
  std::string resolvePath(const std::string& directory, const std::string& name, std::string& error);

  /// Splits an absolute path into its components.
  std::vector<std::string> splitPath(const std::string& path);

} // namespace Corvane::Utilities
