// Files that a device descriptor names (register maps, token files) are written relative to the
// device map file that holds the descriptor, so that a station's configuration folder moves as a
// whole. Backends resolve such a path here; DMapFile resolves "map" itself while reading a file.
#pragma once

#include <string>

namespace Corvane {

  /// `path` made absolute against the folder of the current device map file (the working
  /// directory when none is set); an absolute path is returned unchanged.
  std::string convertPathRelativeToDmapToAbs(const std::string& path);

} // namespace Corvane
