#include "Corvane/Conversion.h"

namespace Corvane {

  bool isConvertible(DataType from, DataType to) {
    return callForType(from, [&](auto f) {
      return callForType(to, [&](auto t) { return isConvertible<decltype(f), decltype(t)>(); });
    });
  }

} // namespace Corvane
