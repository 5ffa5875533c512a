// Common base of application modules, module groups, variable groups and the application.
//
// Offers the operations that act on all variables of an entity and everything below it:
// readAll, writeAll, read-any groups, disabling, and access to the application's configuration.
#pragma once

#include "Corvane/EntityOwner.h"
#include "Corvane/ReadAnyGroup.h"
#include "Corvane/VersionNumber.h"

#include <memory>
#include <vector>

namespace Corvane {

  class ConfigReader;
  class Application;

  namespace detail {
    class ExternalEndpoint;
    class Network;
  } // namespace detail

  class Module : public EntityOwner {
   public:
    Module() = default;
    Module(Module&&) noexcept = default;
    Module& operator=(Module&&) noexcept = default;
    ~Module() override = default;

    /// Called once after the network is connected and before any module thread starts.
    /// Writes made here are initial values. The framework prepares each application module
    /// first, then its variable groups (depth first, construction order).
    virtual void prepare() {}

    /// Prepares one of this entity's variable groups now. A module that needs its groups
    /// prepared in an order of its own calls this from its prepare(); the framework then does
    /// not prepare those groups again (each group's prepare() runs at most once).
    void prepareGroup(Module& group);

    /// Takes this entity and everything below it out of the application: no thread, no
    /// variables; the paths it would have fed are then fed as if it did not exist.
    void disable();
    bool isDisabled() const;

    /// Waits for a new value of every push input below this entity (in declaration order), then
    /// brings every poll input up to date. With return channels also the read-backs of outputs.
    void readAll(bool includeReturnChannels = false);
    /// Takes the newest value of every input without waiting.
    void readAllLatest(bool includeReturnChannels = false);
    void readAllNonBlocking(bool includeReturnChannels = false);

    /// Writes every output below this entity; with return channels also writes back every
    /// input that has a write-back channel.
    void writeAll(bool includeReturnChannels = true);
    void writeAllDestructively(bool includeReturnChannels = true);

    /// A read-any group over every push input below this entity (with or without write-back)
    /// and the read-back channels of its outputs; its returns refresh the poll inputs.
    ReadAnyGroup readAnyGroup();

    /// The application's configuration.
    ConfigReader& appConfig() const;

    /// Runs this entity's modules, and those below it that name no group of their own, in the
    /// execution group `group`: its modules share one worker thread as cooperative tasks. Without
    /// a group a module belongs to its owner's; modules in no group at all form one group.
    void setExecutionGroup(const std::string& group);
    /// Gives this application module a thread of its own, for a main loop that blocks outside
    /// the framework (a child process, a file writer, a device reached over the network): it
    /// would stop its group's other modules while it blocks.
    void requestOwnThread();

    /// Owner of this entity, or null.
    Module* getOwner() const;

    // Version and validity of the application module this entity belongs to.
    VersionNumber getCurrentVersionNumber() const;
    void setCurrentVersionNumber(VersionNumber version);
    DataValidity getDataValidity() const;
    void incrementDataFaultCounter();
    void decrementDataFaultCounter();

   protected:
    Module(Module* owner, detail::EntityKind kind, const std::string& name, const std::string& description,
        const std::unordered_set<std::string>& tags);

    friend class detail::Network;
    friend class Application;

    /// Variables that this entity provides without accessors (configuration values, device
    /// registers). Called when the network is built.
    virtual void addExternalEndpoints(std::vector<std::shared_ptr<detail::ExternalEndpoint>>&) {}
    /// Called after the network is connected and before prepare() (devices open here).
    virtual void activate() {}
    /// Called at shutdown, after the module threads have ended.
    virtual void deactivate() {}
  };

} // namespace Corvane
