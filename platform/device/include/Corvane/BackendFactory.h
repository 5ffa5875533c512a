// Creates device backends by type and shares them: every request for one descriptor (type,
// address and parameters) returns the same backend while anyone holds it, so two aliases
// with one descriptor are one device with one state, one open/close and one recovery.
//
// Backend types register at library load through a static BackendRegisterer. The factory
// also holds the process's current device map path, through which aliases are resolved;
// it is the only process-wide mutable state of the device access.
#pragma once

#include "Corvane/DMapFile.h"
#include "Corvane/DeviceBackend.h"
#include "Corvane/DeviceDescriptor.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Corvane {

  /// Version of the device access; backends register with the one they were compiled against.
  inline constexpr const char* deviceAccessVersion = "1.0.0";

  class BackendFactory {
   public:
    using Creator = std::function<std::shared_ptr<DeviceBackend>(
        const std::string& address, const std::map<std::string, std::string>& parameters)>;

    static BackendFactory& getInstance();

    /// Registers a backend type. Corvane::logic_error when the type is registered already or
    /// the version differs from this library's (the backend was built against another one).
    void registerBackendType(const std::string& type, Creator creator,
        std::vector<std::string> requiredParameters = {}, const std::string& version = deviceAccessVersion);

    bool isRegistered(const std::string& type) const;
    std::vector<std::string> registeredTypes() const;

    /// The shared backend of an alias (through the current dmap file) or of a descriptor text
    /// "(TYPE:...)"; creates it on first request. Configuration errors (no dmap, unknown alias
    /// or type, missing parameter, bad map) are Corvane::logic_error naming file and line.
    std::shared_ptr<DeviceBackend> createBackend(const std::string& aliasOrDescriptor);
    std::shared_ptr<DeviceBackend> createBackend(const DeviceDescriptor& descriptor);

    /// The backend if someone holds it already, else nullptr; never creates one.
    std::shared_ptr<DeviceBackend> findBackend(const std::string& aliasOrDescriptor) const;

    /// The descriptor an alias or descriptor text stands for.
    DeviceDescriptor resolve(const std::string& aliasOrDescriptor) const;

    /// While creation is closed, createBackend only hands out backends someone holds already and
    /// refuses a device nobody created with a Corvane::logic_error (the framework closes it once
    /// the application is built, so that every device has its device module).
    void setCreationAllowed(bool allowed);

    void setDMapFilePath(const std::string& path);
    std::string getDMapFilePath() const;

   private:
    BackendFactory() = default;

    struct Registration {
      Creator creator;
      std::vector<std::string> requiredParameters;
    };

    std::shared_ptr<DeviceBackend> create(const DeviceDescriptor& descriptor, const std::string& context);

    // recursive: a creator may ask the factory for another device
    mutable std::recursive_mutex _mutex;
    std::map<std::string, Registration> _types;
    std::map<std::string, std::weak_ptr<DeviceBackend>> _backends;
    std::string _dmapFilePath;
    bool _creationAllowed{true};
  };

} // namespace Corvane
