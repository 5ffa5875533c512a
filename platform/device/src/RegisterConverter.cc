#include "Corvane/RegisterConverter.h"

namespace Corvane {

  void RegisterConverter::throwNoData(const std::string& registerPath, std::string_view typeName) {
    throw Corvane::logic_error("register " + registerPath + " carries no data and cannot be accessed as " +
        std::string(typeName) + " (use Void)");
  }

} // namespace Corvane
