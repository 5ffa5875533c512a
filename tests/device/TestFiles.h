// Small fixtures for the device-access tests: a temporary directory removed at the end, files
// written into it, and a scoped current dmap file.
#pragma once

#include "Corvane/DMapFile.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include <unistd.h>

namespace CorvaneTest {

  class TempDirectory {
   public:
    TempDirectory() {
      std::string pattern = (std::filesystem::temp_directory_path() / "corvane-device-XXXXXX").string();
      if(::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create temporary directory");
      _path = pattern;
    }
    ~TempDirectory() {
      std::error_code ignored;
      std::filesystem::remove_all(_path, ignored);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::filesystem::path& path() const { return _path; }

    /// Writes a file below the directory (creating subdirectories) and returns its path.
    std::string write(const std::string& name, const std::string& content) const {
      auto file = _path / name;
      std::filesystem::create_directories(file.parent_path());
      std::ofstream(file) << content;
      return file.string();
    }

   private:
    std::filesystem::path _path;
  };

  /// Sets the process's dmap file for one test and restores the previous one.
  class ScopedDMapFilePath {
   public:
    explicit ScopedDMapFilePath(const std::string& path) : _previous(Corvane::getDMapFilePath()) {
      Corvane::setDMapFilePath(path);
    }
    ~ScopedDMapFilePath() { Corvane::setDMapFilePath(_previous); }
    ScopedDMapFilePath(const ScopedDMapFilePath&) = delete;
    ScopedDMapFilePath& operator=(const ScopedDMapFilePath&) = delete;

   private:
    std::string _previous;
  };

} // namespace CorvaneTest
