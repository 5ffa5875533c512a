#include "Corvane/TemporaryDirectory.h"

#include "Corvane/Exception.h"

#include <cstdlib>

namespace Corvane {

  TemporaryDirectory::TemporaryDirectory(const std::string& prefix, const std::filesystem::path& parent) {
    auto base = parent.empty() ? std::filesystem::temp_directory_path() : std::filesystem::absolute(parent);
    auto pattern = (base / (prefix + "-XXXXXX")).string();
    if(::mkdtemp(pattern.data()) == nullptr) throw runtime_error("cannot create a temporary directory " + pattern);
    _path = pattern;
  }

  TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(_path, ignored);
  }

} // namespace Corvane
