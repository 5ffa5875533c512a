// Keeps the MicroDAQ's files below one directory tree, the root: the working directory (where
// the station's configuration lies) unless MicroDAQBase::setDirectoryRoot() names another.
// The server often runs with more rights than its operators, so an operator setting must not
// make it create directories or write files anywhere else: a directory whose path, taken
// relative to the working directory, climbs out of the root with "..", an absolute path
// elsewhere, and a path that leaves the root through a symbolic link are refused.
//
// Used by the writer thread only; it asks the file system (symbolic links), never the pulse path.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace Corvane {

  class DaqDirectoryGuard {
   public:
    /// `root` relative to the working directory or absolute; empty: the working directory.
    explicit DaqDirectoryGuard(const std::filesystem::path& root = {});

    /// Why `directory` is refused, or nothing when it lies below the root.
    std::optional<std::string> refusal(const std::filesystem::path& directory) const;

    const std::filesystem::path& root() const { return _root; }

   private:
    std::filesystem::path _root;
  };

} // namespace Corvane
