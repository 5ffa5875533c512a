// Support for the sampling-scheme tests: a configuration file in a private temporary directory
// (removed with it), and a capture of the process-wide logger's messages.
#pragma once

#include <Corvane/LogCapture.h>
#include <Corvane/Logger.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace sampling {

  /// Configuration keys ("Configuration/pulseLength") with type and value as the file writes them.
  using Keys = std::map<std::string, std::pair<std::string, std::string>>;

  class TempConfig {
   public:
    explicit TempConfig(const Keys& keys) {
      auto pattern = (std::filesystem::temp_directory_path() / "sampling-XXXXXX").string();
      if(::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
      _directory = pattern;
      _file = (_directory / "test_base_config.xml").string();
      std::ofstream out(_file);
      out << "<configuration>\n";
      for(auto& [key, typeAndValue] : keys) {
        // one <module> element per directory of the key
        std::size_t depth = 0, start = 0;
        for(std::size_t slash; (slash = key.find('/', start)) != std::string::npos; start = slash + 1, ++depth) {
          out << "<module name=\"" << key.substr(start, slash - start) << "\">";
        }
        out << "<variable name=\"" << key.substr(start) << "\" type=\"" << typeAndValue.first << "\" value=\""
            << typeAndValue.second << "\"/>";
        for(std::size_t i = 0; i < depth; ++i) out << "</module>";
        out << "\n";
      }
      out << "</configuration>\n";
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

  using Corvane::LogCapture;

} // namespace sampling
