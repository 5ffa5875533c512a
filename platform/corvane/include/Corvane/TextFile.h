// Corvane::TextFile reads a whole configuration-type text file (configuration, device map,
// register map, persisted settings) into memory, refusing what such a file cannot be: a missing
// path, a directory, a device or pipe (/dev/zero, a FIFO: reading would block or never end) and
// anything larger than a stated size. read() makes every refusal a Corvane::logic_error naming
// the kind of file and its path, so a wrong path stops start-up at once with a message instead
// of a hang or an exhausted memory; tryRead() tells the caller what kept the file from being
// read, for readers that go on without the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace Corvane {

  class TextFile {
   public:
    /// Default upper limit: far above any station's files (a few hundred kB), far below memory.
    static constexpr std::size_t defaultMaxBytes = std::size_t{16} << 20;

    /// What kept a file from being read.
    enum class Fault {
      none,
      missing,      ///< no file at the path (also a symbolic link leading nowhere)
      unexaminable, ///< the path could not be looked at (e.g. a directory on it may not be searched)
      directory,
      notRegular,   ///< a device, pipe or socket
      tooLarge,     ///< its size, measured before reading, is beyond the limit
      grewTooLarge, ///< it gave more than the limit while read (it grew, or reported no size)
      cannotOpen,   ///< opening it for reading failed (e.g. no permission)
      readFailed    ///< reading failed part-way (an I/O error); the content holds what came before
    };

    /// The outcome of tryRead().
    struct Reading {
      Fault fault{Fault::none};
      std::string content;    ///< the whole file when there is no fault (see readFailed)
      std::uintmax_t size{0}; ///< the size measured before reading (for tooLarge)
      std::string reason;     ///< the system's words for unexaminable, cannotOpen and readFailed
    };

    /// The file's content. `kind` names the file in messages ("register map file"); the path is
    /// given in quotes. Follows symbolic links; the target must be a regular file of at most
    /// `maxBytes` bytes (also checked while reading, for files that grow or report no size).
    static std::string read(const std::string& fileName, std::string_view kind, std::size_t maxBytes = defaultMaxBytes);

    /// The same reading, which never throws for a file it cannot read but says why.
    static Reading tryRead(const std::filesystem::path& fileName, std::size_t maxBytes = defaultMaxBytes);
  };

} // namespace Corvane
