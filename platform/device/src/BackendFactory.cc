#include "Corvane/BackendFactory.h"

#include "Corvane/Exception.h"

#include <string_view>

namespace Corvane {

  BackendFactory& BackendFactory::getInstance() {
    static BackendFactory instance;
    return instance;
  }

  void BackendFactory::registerBackendType(const std::string& type, Creator creator,
      std::vector<std::string> requiredParameters, const std::string& version) {
    if(version != std::string_view(deviceAccessVersion)) {
      throw Corvane::logic_error("backend type \"" + type + "\" was built against device access " + version +
          " but this program runs device access " + deviceAccessVersion);
    }
    std::lock_guard lock(_mutex);
    if(_types.contains(type)) throw Corvane::logic_error("backend type \"" + type + "\" is registered twice");
    _types.emplace(type, Registration{std::move(creator), std::move(requiredParameters)});
  }

  bool BackendFactory::isRegistered(const std::string& type) const {
    std::lock_guard lock(_mutex);
    return _types.contains(type);
  }

  std::vector<std::string> BackendFactory::registeredTypes() const {
    std::lock_guard lock(_mutex);
    std::vector<std::string> types;
    for(const auto& entry : _types) types.push_back(entry.first);
    return types;
  }

  DeviceDescriptor BackendFactory::resolve(const std::string& aliasOrDescriptor) const {
    if(DeviceDescriptor::isDescriptor(aliasOrDescriptor)) return DeviceDescriptor::parse(aliasOrDescriptor);
    auto dmapPath = getDMapFilePath();
    if(dmapPath.empty()) {
      throw Corvane::logic_error("cannot resolve device alias \"" + aliasOrDescriptor + "\": no device map file set");
    }
    return DMapFile::load(dmapPath).getEntry(aliasOrDescriptor).descriptor;
  }

  std::shared_ptr<DeviceBackend> BackendFactory::createBackend(const std::string& aliasOrDescriptor) {
    if(DeviceDescriptor::isDescriptor(aliasOrDescriptor)) {
      return create(DeviceDescriptor::parse(aliasOrDescriptor), "device " + aliasOrDescriptor);
    }
    auto dmapPath = getDMapFilePath();
    if(dmapPath.empty()) {
      throw Corvane::logic_error("cannot open device alias \"" + aliasOrDescriptor + "\": no device map file set");
    }
    auto dmap = DMapFile::load(dmapPath);
    const auto& entry = dmap.getEntry(aliasOrDescriptor);
    return create(entry.descriptor, entry.location() + ": device \"" + aliasOrDescriptor + "\"");
  }

  std::shared_ptr<DeviceBackend> BackendFactory::createBackend(const DeviceDescriptor& descriptor) {
    return create(descriptor, "device " + descriptor.str());
  }

  std::shared_ptr<DeviceBackend> BackendFactory::findBackend(const std::string& aliasOrDescriptor) const {
    auto key = resolve(aliasOrDescriptor).str();
    std::lock_guard lock(_mutex);
    auto found = _backends.find(key);
    return found == _backends.end() ? nullptr : found->second.lock();
  }

  std::shared_ptr<DeviceBackend> BackendFactory::create(const DeviceDescriptor& descriptor, const std::string& context) {
    auto key = descriptor.str();
    std::lock_guard lock(_mutex);
    if(auto found = _backends.find(key); found != _backends.end()) {
      if(auto existing = found->second.lock()) return existing;
    }
    if(!_creationAllowed) {
      throw Corvane::logic_error(context + ": no device module uses this device, and new devices cannot be "
          "created once the application is built");
    }
    auto type = _types.find(descriptor.type);
    if(type == _types.end()) {
      std::string known;
      for(const auto& entry : _types) known += (known.empty() ? "" : ", ") + entry.first;
      throw Corvane::logic_error(context + ": unknown backend type \"" + descriptor.type + "\" (known: " + known + ")");
    }
    for(const auto& parameter : type->second.requiredParameters) {
      if(descriptor.parameter(parameter).empty()) {
        throw Corvane::logic_error(context + ": backend type \"" + descriptor.type + "\" needs the parameter \"" +
            parameter + "\"");
      }
    }
    std::shared_ptr<DeviceBackend> backend;
    try {
      backend = type->second.creator(descriptor.address, descriptor.parameters);
    }
    catch(const Corvane::runtime_error& e) {
      throw Corvane::runtime_error(context + ": " + e.what());
    }
    catch(const std::exception& e) {
      throw Corvane::logic_error(context + ": " + e.what());
    }
    if(!backend) throw Corvane::logic_error(context + ": backend type \"" + descriptor.type + "\" created nothing");
    // forget backends nobody holds any more, then remember this one
    std::erase_if(_backends, [](const auto& entry) { return entry.second.expired(); });
    _backends[key] = backend;
    return backend;
  }

  void BackendFactory::setCreationAllowed(bool allowed) {
    std::lock_guard lock(_mutex);
    _creationAllowed = allowed;
  }

  void BackendFactory::setDMapFilePath(const std::string& path) {
    std::lock_guard lock(_mutex);
    _dmapFilePath = path;
  }

  std::string BackendFactory::getDMapFilePath() const {
    std::lock_guard lock(_mutex);
    return _dmapFilePath;
  }

} // namespace Corvane
