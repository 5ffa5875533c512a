#include "Corvane/SetDMapFilePath.h"

#include "Corvane/DMapFile.h"

namespace Corvane {

  SetDMapFilePath::SetDMapFilePath(const std::string& fileName) { setDMapFilePath(fileName); }

} // namespace Corvane
