#include "IQVersionPairing.h"

bool IQVersionPairing::update(Part part, Corvane::VersionNumber version) {
  const auto index = static_cast<std::size_t>(part);
  _version[index] = version;
  _updated[index] = true;
  if(!_updated[0] || !_updated[1] || _version[0] != _version[1]) return false;
  _updated = {false, false};
  return true;
}
