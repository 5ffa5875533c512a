// Text that goes into generated files (variable list, module graph): valid UTF-8 only.
#pragma once

#include <string>

namespace Corvane::detail {

  /// Replaces every byte that does not belong to a well-formed UTF-8 sequence (and the
  /// non-characters U+FFFE and U+FFFF) by `replacement`; everything else is kept as it is.
  std::string sanitiseUtf8(const std::string& text, char replacement = '?');

} // namespace Corvane::detail
