// Test support: a private directory below the system's temporary directory, removed with
// everything in it when the object goes.
#pragma once

#include <filesystem>
#include <string>

namespace Corvane {

  class TemporaryDirectory {
   public:
    /// `prefix` starts the directory's name (a random suffix follows).
    explicit TemporaryDirectory(const std::string& prefix = "corvane");
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
