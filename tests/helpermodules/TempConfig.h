// A configuration file in a private temporary directory, removed with the directory when the
// test ends.
#pragma once

#include <Corvane/TemporaryDirectory.h>

#include <fstream>
#include <stdexcept>
#include <string>

namespace helpermodules {

  class TempConfig {
   public:
    /// Writes a configuration file whose root element holds `body`.
    explicit TempConfig(const std::string& body) : _file(_directory.file("test_base_config.xml")) {
      std::ofstream out(_file);
      out << "<configuration>\n" << body << "</configuration>\n";
      if(!out) throw std::runtime_error("cannot write " + _file);
    }

    const std::string& file() const { return _file; }

   private:
    Corvane::TemporaryDirectory _directory{"helpermodules"};
    std::string _file;
  };

} // namespace helpermodules
