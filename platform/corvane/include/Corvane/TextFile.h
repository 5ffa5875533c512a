// Corvane::TextFile reads a whole configuration-type text file (configuration, device map,
// register map) into memory, refusing what such a file cannot be: a missing path, a directory, a
// device or pipe (/dev/zero, a FIFO: reading would block or never end) and anything larger than a
// stated size. Every refusal is a Corvane::logic_error naming the kind of file and its path, so a
// wrong path stops start-up at once with a message instead of a hang or an exhausted memory.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Corvane {

  class TextFile {
   public:
    /// Default upper limit: far above any station's files (a few hundred kB), far below memory.
    static constexpr std::size_t defaultMaxBytes = std::size_t{16} << 20;

    /// The file's content. `kind` names the file in messages ("register map file"); the path is
    /// given in quotes. Follows symbolic links; the target must be a regular file of at most
    /// `maxBytes` bytes (also checked while reading, for files that grow or report no size).
    static std::string read(const std::string& fileName, std::string_view kind, std::size_t maxBytes = defaultMaxBytes);
  };

} // namespace Corvane
