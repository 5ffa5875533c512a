// The variable model: the process variables of an application arranged in the directories of
// their paths, searchable while the application is still being built.
//
// A module reaches the model through its own directory (directoryOf) or the root
// (rootDirectory), walks it with DirectoryProxy, searches it with DepthFirstSearch and a
// VariableFilter, and reads each ProcessVariableProxy's path, type, length, metadata and
// accessors. Every query answers from the ownership tree as it stands when it runs.
#pragma once

#include "Corvane/DepthFirstSearch.h"
#include "Corvane/DirectoryProxy.h"
#include "Corvane/ProcessVariableProxy.h"
#include "Corvane/VariableFilter.h"

namespace Corvane {
  class EntityOwner;
}

namespace Corvane::Model {

  /// The directory that names declared in `entity` are relative to (for a module named
  /// "/Controller/Configuration/tableBufferMode" that directory; "." names add no level).
  /// Throws logic_error for an ownerless entity, which is not part of any application.
  DirectoryProxy directoryOf(const EntityOwner& entity);

  /// The root "/" of the application that `entity` belongs to.
  DirectoryProxy rootDirectory(const EntityOwner& entity);

} // namespace Corvane::Model
