// Test support: a private directory below the system's temporary directory (or below a given
// parent), removed with everything in it when the object goes.
#pragma once

#include <filesystem>
#include <string>

namespace Corvane {

  class TemporaryDirectory {
   public:
    /// `prefix` starts the directory's name (a random suffix follows); it is made in `parent`
    /// (default: the system's temporary directory).
    explicit TemporaryDirectory(const std::string& prefix = "corvane", const std::filesystem::path& parent = {});
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const { return _path; }
    /// Path of a file in the directory.
    std::string file(const std::string& name) const { return (_path / name).string(); }

   private:
    std::filesystem::path _path;
  };

} // namespace Corvane
