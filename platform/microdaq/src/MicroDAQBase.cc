#include "Corvane/MicroDAQBase.h"

#include "Corvane/Application.h"
#include "Corvane/Exception.h"
#include "Corvane/Logger.h"
#include "Corvane/Utilities.h"
#include "Corvane/detail/Nodes.h"

#include <map>

namespace Corvane {

  namespace {

    struct Declared {
      DataType type{DataType::nodata};
      std::size_t nElements{0};
      bool fromFeeder{false};
      bool tagged{false};
    };

    bool isBelow(const detail::EntityNode* node, const detail::EntityNode* ancestor) {
      for(; node; node = node->parent)
        if(node == ancestor) return true;
      return false;
    }

    /// Every variable declared so far, by path in order of first declaration, outside `own`.
    /// Type and length are the feeding accessor's when there is one, else the first accessor's;
    /// the variable is tagged when any of its accessors carries `tag`.
    std::vector<std::pair<std::string, Declared>> declaredVariables(
        const Application& app, const detail::EntityNode* own, const std::string& tag) {
      std::vector<std::pair<std::string, Declared>> result;
      std::map<std::string, std::size_t> index;
      for(auto& node : app.getAccessorListRecursive()) {
        auto* accessor = node.accessorNode();
        if(!accessor->owner || isBelow(accessor->owner, own) || accessor->owner->isDisabled()) continue;
        auto path = accessor->path();
        auto [it, inserted] = index.emplace(path, result.size());
        if(inserted) result.emplace_back(path, Declared{accessor->type, accessor->nElements});
        auto& declared = result[it->second].second;
        if(accessor->isFeeding() && !declared.fromFeeder) {
          declared.type = accessor->type;
          declared.nElements = accessor->nElements;
          declared.fromFeeder = true;
        }
        if(!tag.empty() && node.getTags().count(tag)) declared.tagged = true;
      }
      return result;
    }

    Application* applicationOf(const EntityOwner& entity) {
      if(entity.entityNode()) {
        if(auto* app = entity.entityNode()->application()) return app;
      }
      return Application::hasInstance() ? &Application::getInstance() : nullptr;
    }

    std::string directoryOf(const EntityOwner& entity) {
      return entity.entityNode() ? entity.entityNode()->directory() : std::string("/");
    }

    /// File names start with the last component of the MicroDAQ's directory.
    std::string fileStemOf(const EntityOwner& entity) {
      auto stem = Utilities::getUnqualifiedName(directoryOf(entity));
      return stem.empty() ? std::string("MicroDAQ") : stem;
    }

    std::string absolutePath(const EntityOwner& entity, const std::string& name) {
      std::string error;
      auto path = Utilities::resolvePath(directoryOf(entity), name, error);
      if(path.empty()) {
        throw logic_error("MicroDAQ " + entity.getQualifiedName() + ": invalid path '" + name + "': " + error);
      }
      return path;
    }

  } // namespace

  MicroDAQBase::MicroDAQBase(Module* owner, const std::string& name, const std::string& description,
      const std::string& inputTag, const std::string& triggerPath, DataType triggerType,
      const std::unordered_set<std::string>& tags)
  : ModuleGroup(owner, name, description, tags), _queue(std::make_shared<DaqRecordQueue>(defaultQueueCapacity, defaultFileChangeAllowance)),
    _recorder(this, triggerPath, triggerType, _queue),
    _writer(this, _queue, fileStemOf(*this), directoryOf(*this), absolutePath(*this, triggerPath)) {
    if(triggerType == DataType::string) {
      throw logic_error("MicroDAQ " + getQualifiedName() + ": the trigger " + triggerPath + " cannot be a string");
    }
    if(!hasOwner()) return;
    recordTagged(inputTag, absolutePath(*this, triggerPath));
  }

  void MicroDAQBase::recordTagged(const std::string& inputTag, const std::string& triggerPath) {
    auto* app = applicationOf(*this);
    if(!app || inputTag.empty()) return;
    for(auto& [path, declared] : declaredVariables(*app, entityNode(), inputTag)) {
      // the trigger number is stored with every trigger anyway
      if(!declared.tagged || path == triggerPath || _recorder.isRecorded(path)) continue;
      if(declared.type == DataType::nodata) {
        logger(Logger::Severity::warning, getQualifiedName())
            << path << " is tagged " << inputTag << " but carries no data; it is not recorded";
        continue;
      }
      _recorder.addSource(DaqVariable{path, path.substr(1), declared.type, declared.nElements});
    }
  }

  void MicroDAQBase::checkConfigurable(const std::string& what) const {
    if(!hasOwner()) throw logic_error("MicroDAQ placeholder (built without owner) cannot " + what);
    auto* app = applicationOf(*this);
    if(app && app->getState() != Application::State::constructed) {
      throw logic_error("MicroDAQ " + getQualifiedName() + " cannot " + what +
          ": sources must be added before the application is initialised");
    }
  }

  void MicroDAQBase::addSource(const std::string& path, const std::string& storedName) {
    checkConfigurable("record " + path);
    auto absolute = absolutePath(*this, path);
    if(_recorder.isRecorded(absolute)) return;
    auto* app = applicationOf(*this);
    if(app) {
      for(auto& [declaredPath, declared] : declaredVariables(*app, entityNode(), "")) {
        if(declaredPath == absolute) {
          addSource(absolute, declared.type, declared.nElements, storedName);
          return;
        }
      }
    }
    throw logic_error("MicroDAQ " + getQualifiedName() + " cannot record " + absolute +
        ": no variable is declared there so far (give its type and length)");
  }

  void MicroDAQBase::addSource(
      const std::string& path, DataType type, std::size_t nElements, const std::string& storedName) {
    checkConfigurable("record " + path);
    auto absolute = absolutePath(*this, path);
    if(_recorder.isRecorded(absolute)) return;
    if(type == DataType::nodata) {
      throw logic_error("MicroDAQ " + getQualifiedName() + " cannot record " + absolute + ": it carries no data");
    }
    if(nElements == 0) {
      throw logic_error("MicroDAQ " + getQualifiedName() + " cannot record " + absolute + " with 0 elements");
    }
    std::string error;
    auto stored = Utilities::resolvePath("/", storedName.empty() ? absolute : storedName, error);
    if(stored.size() <= 1) {
      throw logic_error("MicroDAQ " + getQualifiedName() + ": invalid stored name '" + storedName + "' for " +
          absolute + (error.empty() ? std::string(": names the root") : ": " + error));
    }
    stored = stored.substr(1);
    for(auto& variable : _recorder.variables()) {
      if(variable.storedName == stored) {
        throw logic_error("MicroDAQ " + getQualifiedName() + ": " + absolute + " and " + variable.path +
            " would both be stored as '" + stored + "'");
      }
    }
    _recorder.addSource(DaqVariable{absolute, stored, type, nElements});
  }

  void MicroDAQBase::recordPaths(const std::vector<std::string>& paths) {
    for(auto& path : paths) addSource(path);
  }

  std::vector<std::string> MicroDAQBase::recordedPaths() const {
    std::vector<std::string> paths;
    for(auto& variable : _recorder.variables()) paths.push_back(variable.path);
    return paths;
  }

  void MicroDAQBase::setQueueCapacity(std::size_t records) {
    checkConfigurable("change its queue");
    _queue->setCapacity(records);
  }

  void MicroDAQBase::setFileChangeAllowance(std::size_t records) {
    checkConfigurable("change its queue");
    _queue->setFileChangeAllowance(records);
  }

  void MicroDAQBase::setDirectoryRoot(const std::string& root) {
    checkConfigurable("change its directory root");
    _writer.setDirectoryRoot(root);
  }

  void MicroDAQBase::holdWriter(bool held) {
    if(_queue) _queue->hold(held);
  }

  void MicroDAQBase::holdFileChanges(bool held) {
    if(_queue) _queue->holdFileChanges(held);
  }

} // namespace Corvane

#include "Corvane/DeviceModule.h"

namespace Corvane {

  void MicroDAQBase::addDeviceModule(
      DeviceModule& module, const std::string& namePrefix, const std::string& registerSubtree) {
    for(auto& variable : module.getRegisterVariables(registerSubtree)) {
      if(!variable.info->isReadable() || !variable.info->hasData()) continue;
      addSource(variable.path, variable.info->naturalType(), variable.info->nElements,
          namePrefix + "/" + variable.relativeName);
    }
  }

} // namespace Corvane
