// Makes a file the device map of the process. Declared as the first member of an application,
// so that it takes effect before any device module is built.
#pragma once

#include <string>

namespace Corvane {

  struct SetDMapFilePath {
    explicit SetDMapFilePath(const std::string& fileName);
  };

} // namespace Corvane
