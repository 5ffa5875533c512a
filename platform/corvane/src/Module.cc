#include "Corvane/Module.h"

#include "Corvane/Application.h"
#include "Corvane/ApplicationModule.h"
#include "Corvane/Exception.h"
#include "Corvane/ModuleGroup.h"
#include "Corvane/VariableGroup.h"
#include "Corvane/WakeUpBatch.h"
#include "Corvane/detail/Nodes.h"

namespace Corvane {

  using detail::AccessorNode;
  using detail::EntityKind;
  using detail::EntityNode;

  namespace {
    template<class F>
    void forEachAccessor(EntityNode* node, F&& f) {
      if(!node) return;
      for(auto* a : node->accessors) f(a);
      for(auto* child : node->children)
        if(child->kind == EntityKind::variableGroup) forEachAccessor(child, f);
    }

    detail::ModuleRuntime* runtimeOf(EntityNode* node) {
      if(!node) return nullptr;
      auto* module = node->owningModule();
      return module ? module->runtime.get() : nullptr;
    }
  } // namespace

  Module::Module(Module* owner, EntityKind kind, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags)
  : EntityOwner(owner, kind, name, description, tags) {}

  VariableGroup::VariableGroup(Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags)
  : Module(owner, EntityKind::variableGroup, name, description, tags) {}

  ApplicationModule::ApplicationModule(Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags)
  : VariableGroup(owner, EntityKind::applicationModule, name, description, tags) {}

  ModuleGroup::ModuleGroup(Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags)
  : Module(owner, EntityKind::moduleGroup, name, description, tags) {}

  void Module::prepareGroup(Module& group) {
    auto* node = group.entityNode();
    if(node && node->prepared) return;
    if(node) node->prepared = true;
    group.prepare();
  }

  void Module::disable() {
    if(_node) _node->disabled = true;
  }

  bool Module::isDisabled() const { return _node && _node->isDisabled(); }

  void Module::readAll(bool includeReturnChannels) {
    std::vector<AccessorNode*> polled;
    forEachAccessor(_node.get(), [&](AccessorNode* a) {
      if(a->isFeeding()) {
        if(includeReturnChannels && a->direction.withReturn) a->read();
      }
      else if(a->mode == UpdateMode::push) {
        a->read();
      }
      else {
        polled.push_back(a);
      }
    });
    for(auto* a : polled) a->readLatest();
  }

  void Module::readAllLatest(bool includeReturnChannels) {
    forEachAccessor(_node.get(), [&](AccessorNode* a) {
      if(!a->isFeeding() || (includeReturnChannels && a->direction.withReturn)) a->readLatest();
    });
  }

  void Module::readAllNonBlocking(bool includeReturnChannels) {
    forEachAccessor(_node.get(), [&](AccessorNode* a) {
      if(!a->isFeeding() || (includeReturnChannels && a->direction.withReturn)) a->readNonBlocking();
    });
  }

  void Module::writeAll(bool includeReturnChannels) {
    WakeUpBatch batch; // a reader of several of the values wakes once
    forEachAccessor(_node.get(), [&](AccessorNode* a) {
      if(a->isFeeding() || (includeReturnChannels && a->direction.withReturn && a->canSend)) a->write(false);
    });
  }

  void Module::writeAllDestructively(bool includeReturnChannels) {
    WakeUpBatch batch;
    forEachAccessor(_node.get(), [&](AccessorNode* a) {
      if(a->isFeeding() || (includeReturnChannels && a->direction.withReturn && a->canSend)) a->write(true);
    });
  }

  ReadAnyGroup Module::readAnyGroup() {
    ReadAnyGroup group;
    forEachAccessor(_node.get(), [&](AccessorNode* a) {
      if(!a->isFeeding() || a->direction.withReturn) group.add(VariableNetworkNode(a));
    });
    return group;
  }

  ConfigReader& Module::appConfig() const { return Application::getInstance().getConfigReader(); }

  void Module::setExecutionGroup(const std::string& group) {
    if(!_node) throw logic_error("setExecutionGroup(\"" + group + "\") on a module placeholder without owner");
    if(group.empty()) throw logic_error("Execution group of " + getQualifiedName() + ": the name is empty");
    _node->executionGroup = group;
  }

  void Module::requestOwnThread() {
    if(!_node) throw logic_error("requestOwnThread() on a module placeholder without owner");
    _node->ownThread = true;
  }

  Module* Module::getOwner() const {
    if(!_node || !_node->parent) return nullptr;
    return dynamic_cast<Module*>(_node->parent->object);
  }

  VersionNumber Module::getCurrentVersionNumber() const {
    auto* runtime = runtimeOf(_node.get());
    return runtime ? runtime->currentVersion : VersionNumber(nullptr);
  }

  void Module::setCurrentVersionNumber(VersionNumber version) {
    if(auto* runtime = runtimeOf(_node.get())) runtime->currentVersion = version;
  }

  DataValidity Module::getDataValidity() const {
    auto* runtime = runtimeOf(_node.get());
    return runtime ? runtime->validity() : DataValidity::ok;
  }

  void Module::incrementDataFaultCounter() {
    if(auto* runtime = runtimeOf(_node.get())) ++runtime->dataFaultCounter;
  }

  void Module::decrementDataFaultCounter() {
    auto* runtime = runtimeOf(_node.get());
    if(runtime && runtime->dataFaultCounter > 0) --runtime->dataFaultCounter;
  }

} // namespace Corvane

#include <cxxabi.h>
#include <typeinfo>

namespace Corvane {

  Logger::Stream ApplicationModule::logger(Logger::Severity severity) const {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(typeid(*this).name(), nullptr, nullptr, &status), std::free);
    std::string name = status == 0 && demangled ? demangled.get() : typeid(*this).name();
    auto template_ = name.find('<');
    auto colon = name.rfind("::", template_);
    if(colon != std::string::npos) name = name.substr(colon + 2);
    return Logger::instance().stream(severity, name);
  }

} // namespace Corvane
