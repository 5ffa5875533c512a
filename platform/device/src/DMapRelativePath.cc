#include "Corvane/DMapRelativePath.h"

#include "Corvane/DMapFile.h"

#include <filesystem>

namespace Corvane {

  std::string convertPathRelativeToDmapToAbs(const std::string& path) {
    std::filesystem::path file(path);
    if(file.is_absolute()) return path;
    auto dmap = getDMapFilePath();
    auto base = dmap.empty() ? std::filesystem::current_path() : std::filesystem::absolute(dmap).parent_path();
    return (base / file).lexically_normal().string();
  }

} // namespace Corvane
