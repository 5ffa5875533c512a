// Support for the sampling-scheme tests: a configuration file in a private temporary directory
// (removed with it), and a capture of the process-wide logger's messages.
#pragma once

#include <Corvane/LogCapture.h>
#include <Corvane/Logger.h>
#include <Corvane/TemporaryDirectory.h>

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
    explicit TempConfig(const Keys& keys) : _file(_directory.file("test_base_config.xml")) {
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
    const std::string& file() const { return _file; }

   private:
    Corvane::TemporaryDirectory _directory{"sampling"};
    std::string _file;
  };

  using Corvane::LogCapture;

} // namespace sampling
