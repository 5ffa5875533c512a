// A configuration file in a private temporary directory, removed with the directory when the
// test ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace services2 {

  class TempConfig {
   public:
    /// Writes a configuration file whose root element holds `body`.
    explicit TempConfig(const std::string& body) {
      auto pattern = (std::filesystem::temp_directory_path() / "services2-XXXXXX").string();
      if(::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
      _directory = pattern;
      _file = (_directory / "test_base_config.xml").string();
      std::ofstream out(_file);
      out << "<configuration>\n" << body << "</configuration>\n";
      if(!out) throw std::runtime_error("cannot write " + _file);
    }
    ~TempConfig() {
      std::error_code ignored;
      std::filesystem::remove_all(_directory, ignored);
    }
    TempConfig(const TempConfig&) = delete;
    TempConfig& operator=(const TempConfig&) = delete;

    const std::string& file() const { return _file; }

   private:
    std::filesystem::path _directory;
    std::string _file;
  };

} // namespace services2
