#include "Corvane/ConfigReader.h"

#include "Corvane/Application.h"
#include "Corvane/Utilities.h"
#include "Corvane/detail/NetworkVariable.h"
#include "Corvane/detail/Nodes.h"

namespace Corvane {

  ConfigReader::ConfigReader(
      Module* owner, const std::string& name, const std::string& fileName, const std::unordered_set<std::string>& tags)
  : ModuleGroup(owner, name, "Configuration values from " + fileName, tags),
    _file(std::make_unique<ConfigFile>(fileName)) {
    if(Application::hasInstance()) Application::getInstance().setConfigReader(this);
  }

  ConfigReader::~ConfigReader() {
    if(Application::hasInstance() && Application::getInstance().configReaderPointer() == this)
      Application::getInstance().setConfigReader(nullptr);
  }

  void ConfigReader::addExternalEndpoints(std::vector<std::shared_ptr<detail::ExternalEndpoint>>& endpoints) {
    auto directory = _node->directory();
    for(auto& entry : _file->entries()) {
      std::string error;
      auto path = Utilities::resolvePath(directory, entry.key, error);
      std::visit(
          [&](auto& values) {
            using E = typename std::decay_t<decltype(values)>::value_type;
            using T = std::conditional_t<std::is_same_v<E, bool>, Boolean, E>;
            auto endpoint = std::make_shared<detail::ValueEndpoint<T>>(std::vector<T>(values.begin(), values.end()));
            endpoint->path = path;
            endpoint->feederRank = 2;
            endpoint->description = "Configuration value";
            endpoint->what = "configuration value '" + entry.key + "' in " + _file->fileName() + ":" +
                std::to_string(entry.line);
            endpoints.push_back(endpoint);
          },
          entry.values);
    }
  }

} // namespace Corvane
