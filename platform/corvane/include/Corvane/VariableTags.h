// Tags that the framework and its adapters give a meaning to. A tag is given to an accessor or to a
// module (then every variable below it carries it); the control system sees the union.
#pragma once

namespace Corvane::Tags {

  /// A command input: each write asks for an action once ("rotate by", "re-initialise now",
  /// "print the trace"). Its value is no setting: it is not persisted and not restored at the next
  /// start, and a client may show it as an action rather than as a value to keep.
  inline constexpr const char* command = "_Corvane_command";

  /// A control-system-fed setting that starts from its default at every start (not persisted).
  inline constexpr const char* notPersisted = "_Corvane_notPersisted";

} // namespace Corvane::Tags
