#include "DaqDirectoryGuard.h"

namespace Corvane {

  namespace fs = std::filesystem;

  namespace {
    /// Whether the normalised absolute `path` is `root` or lies below it.
    bool isWithin(const fs::path& path, const fs::path& root) {
      auto relative = path.lexically_relative(root);
      if(relative.empty()) return false;
      auto first = *relative.begin();
      return first != "..";
    }

    fs::path absoluteNormal(const fs::path& path) {
      return (path.is_absolute() ? path : fs::current_path() / path).lexically_normal();
    }

    /// The path with symbolic links resolved as far as it exists; the root itself too.
    fs::path resolved(const fs::path& path) {
      std::error_code error;
      auto result = fs::weakly_canonical(path, error);
      return error ? path : result.lexically_normal();
    }
  } // namespace

  DaqDirectoryGuard::DaqDirectoryGuard(const fs::path& root) : _root(absoluteNormal(root.empty() ? fs::path(".") : root)) {
    // "/a/b/" and "/a/b" name the same root
    if(!_root.has_filename() && _root.has_parent_path() && _root != _root.root_path()) _root = _root.parent_path();
  }

  std::optional<std::string> DaqDirectoryGuard::refusal(const fs::path& directory) const {
    const std::string quoted = "'" + directory.string() + "'";
    auto wanted = absoluteNormal(directory);
    if(!isWithin(wanted, _root)) {
      return "directory " + quoted + " refused: it lies outside " + _root.string() +
          " (files are written only below it)";
    }
    auto root = resolved(_root);
    auto real = resolved(wanted);
    if(!isWithin(real, root)) {
      return "directory " + quoted + " refused: a symbolic link leads it to " + real.string() + ", outside " +
          _root.string();
    }
    return std::nullopt;
  }

} // namespace Corvane
