// A private directory below the system's temporary directory for one test, removed with its contents
// when the test ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace configandlog {

  class TempDirectory {
   public:
    TempDirectory() {
      auto pattern = (std::filesystem::temp_directory_path() / "configandlog-XXXXXX").string();
      if(::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
      path_ = pattern;
    }
    ~TempDirectory() {
      std::error_code ignored;
      std::filesystem::remove_all(path_, ignored);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Writes the bytes as they are (no newline translation) and returns the file's path.
    std::string write(const std::string& name, const std::string& content) const {
      auto file = path_ / name;
      std::ofstream out(file, std::ios::binary);
      out << content;
      if(!out) throw std::runtime_error("cannot write " + file.string());
      return file.string();
    }

   private:
    std::filesystem::path path_;
  };

} // namespace configandlog
