// Pairs the I and Q arrays of a table that arrive as two updates, so that a reader never combines the I of one
// generation with the Q of another. A table is complete when both arrays were updated since the last complete
// table and carry one version number: the writer sends both arrays of one generation with one version (it
// reads nothing between the two writes). An array whose partner has not arrived yet waits; when updates were
// lost, the pair completes with the first I and Q of equal version. Used by one module thread.
#pragma once

#include <Corvane/VersionNumber.h>

#include <array>

class IQVersionPairing {
 public:
  enum class Part { I = 0, Q = 1 };

  /// Notes an update of `part` carrying `version`; true when it completes a table.
  bool update(Part part, Corvane::VersionNumber version);

 private:
  std::array<Corvane::VersionNumber, 2> _version{Corvane::VersionNumber{nullptr}, Corvane::VersionNumber{nullptr}};
  std::array<bool, 2> _updated{false, false};
};
