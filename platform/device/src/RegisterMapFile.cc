#include "Corvane/RegisterMapFile.h"

#include "Corvane/DMapFile.h"
#include "Corvane/DMapRelativePath.h"
#include "Corvane/Exception.h"

#include <filesystem>

namespace Corvane {

  namespace {
    // Where the descriptor comes from, as a sentence for the end of a message. The device map is
    // read again here, only on the way to an error.
    std::string originOf(const DeviceDescriptor& descriptor) {
      auto dmapPath = getDMapFilePath();
      if(dmapPath.empty()) return "Device descriptor " + descriptor.str() + ", no device map file set.";
      try {
        auto dmap = DMapFile::load(dmapPath);
        if(const auto* entry = dmap.findEntry(descriptor)) {
          return "Device descriptor " + entry->text + " in device map file " + entry->location() + ".";
        }
      }
      catch(const logic_error&) {
        // the device map cannot be read (any more): the descriptor is named without its line
      }
      return "Device descriptor " + descriptor.str() + ", not listed in device map file " + dmapPath +
          " (relative map paths resolve against its folder).";
    }
  } // namespace

  std::string registerMapFile(const DeviceDescriptor& descriptor) {
    auto map = descriptor.parameter("map");
    if(map.empty()) throw logic_error("No map file name given in the device descriptor. " + originOf(descriptor));
    auto path = convertPathRelativeToDmapToAbs(map);
    std::error_code ignored;
    if(std::filesystem::status(path, ignored).type() == std::filesystem::file_type::not_found) {
      throw logic_error("register map file \"" + path + "\" does not exist. " + originOf(descriptor));
    }
    return path;
  }

} // namespace Corvane
