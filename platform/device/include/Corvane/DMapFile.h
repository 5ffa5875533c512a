// A device map file: which device each alias names.
//
//   # comment
//   Controller  (sharedMemoryDummy:ctrl?map=controller.map)
//   Adc0        (mmap:/sys/bus/pci/devices/0000:03:00.0?map=adc.map)
//
// One device a line: an alias ([A-Za-z0-9_.-]) and a descriptor (see DeviceDescriptor). A
// relative "map" parameter is resolved against the directory of the dmap file, so the entry
// carries an absolute path. Duplicate aliases and malformed lines are errors naming file:line.
//
// The process has one current dmap file (setDMapFilePath), through which devices are opened
// by alias; a relative path is taken relative to the working directory.
#pragma once

#include "Corvane/DeviceDescriptor.h"

#include <istream>
#include <string>
#include <vector>

namespace Corvane {

  class DMapFile {
   public:
    struct Entry {
      std::string alias;
      DeviceDescriptor descriptor;
      /// The descriptor as written in the file (its map path not resolved), for messages.
      std::string text;
      std::string fileName;
      std::size_t line{};

      /// "file:line" of the entry, for messages.
      std::string location() const { return fileName + ":" + std::to_string(line); }
    };

    /// Reads a dmap file; Corvane::logic_error when it cannot be read, is not a regular file of at
    /// most TextFile::defaultMaxBytes, or is malformed.
    static DMapFile load(const std::string& fileName);

    /// Parses dmap text; relative map paths are resolved against `baseDirectory`.
    static DMapFile parse(std::istream& input, const std::string& fileName, const std::string& baseDirectory);

    const std::string& fileName() const { return _fileName; }
    const std::vector<Entry>& entries() const { return _entries; }

    bool hasAlias(const std::string& alias) const;

    /// Corvane::logic_error naming the alias and the dmap file when it is not there.
    const Entry& getEntry(const std::string& alias) const;

    /// The first entry naming `descriptor` (after its map path was resolved), nullptr when none does.
    const Entry* findEntry(const DeviceDescriptor& descriptor) const;

   private:
    std::string _fileName;
    std::vector<Entry> _entries;
  };

  /// Makes a file the current device map of the process.
  void setDMapFilePath(const std::string& path);

  /// The current device map file, empty when none was set.
  std::string getDMapFilePath();

} // namespace Corvane
