#include "Corvane/VersionInfoProvider.h"

#include "Corvane/Exception.h"
#include "Corvane/detail/Nodes.h"

#include <cstdio>

namespace Corvane {

  VersionInfoProvider::VersionInfoProvider(Module* owner, std::int32_t major, std::int32_t minor, std::int32_t patch)
  : ApplicationModule(owner, "Application", "Module to publish version information"),
    majorVersion(this, "majorVersion", "", "Major version of the application"),
    minorVersion(this, "minorVersion", "", "Minor version of the application"),
    patchVersion(this, "patchVersion", "", "Patch version of the application"),
    fullVersion(this, "fullVersion", "", "Full version of the application with configuration patch"),
    configPatchVersion(this, "/Application/configPatchVersion", "", "Patch version of the configuration") {
    majorVersion = major;
    minorVersion = minor;
    patchVersion = patch;
    checkSingleInstance();
  }

  void VersionInfoProvider::checkSingleInstance() const {
    auto* self = entityNode();
    if(!self) return;
    const detail::EntityNode* root = self;
    while(root->parent) root = root->parent;
    auto find = [&](auto& recurse, const detail::EntityNode* node) -> const detail::EntityNode* {
      if(node != self && dynamic_cast<const VersionInfoProvider*>(node->object)) return node;
      for(const auto* child : node->children)
        if(const auto* found = recurse(recurse, child)) return found;
      return nullptr;
    };
    if(const auto* other = find(find, root)) {
      throw logic_error("Only one VersionInfoProvider may exist per application: " + self->qualifiedName() +
          " cannot be added beside " + other->qualifiedName());
    }
  }

  std::string VersionInfoProvider::formatFullVersion(
      std::int32_t major, std::int32_t minor, std::int32_t patch, std::int32_t configPatch) {
    char text[64];
    std::snprintf(text, sizeof(text), "%02d.%02d.%02d-%02d", static_cast<int>(major), static_cast<int>(minor),
        static_cast<int>(patch), static_cast<int>(configPatch));
    return text;
  }

  void VersionInfoProvider::prepare() {
    majorVersion.write();
    minorVersion.write();
    patchVersion.write();
  }

  void VersionInfoProvider::mainLoop() {
    while(true) {
      fullVersion = formatFullVersion(majorVersion, minorVersion, patchVersion, configPatchVersion);
      fullVersion.write();
      configPatchVersion.read();
    }
  }

} // namespace Corvane
