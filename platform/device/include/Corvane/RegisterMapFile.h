// The register map file of a device, from the "map" parameter of its descriptor. Backends read
// the parameter only here, so that each refuses a missing parameter or an absent file with one
// message that names the descriptor as written in the device map and the device map file:
//
//   No map file name given in the device descriptor. Device descriptor (dummy:board) in
//   device map file /opt/station/devices.dmap:4.
#pragma once

#include "Corvane/DeviceDescriptor.h"

#include <string>

namespace Corvane {

  /// Absolute path of the register map file named by the "map" parameter of `descriptor`, a
  /// relative one resolved against the folder of the current device map file (see
  /// convertPathRelativeToDmapToAbs). Corvane::logic_error when the parameter is missing or
  /// empty, or no file is at the path; a file that exists is left to RegisterMap::load to judge.
  std::string registerMapFile(const DeviceDescriptor& descriptor);

} // namespace Corvane
