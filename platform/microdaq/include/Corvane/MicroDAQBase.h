// The type-independent part of Corvane::MicroDAQ (see MicroDAQ.h for what it records and how the
// files look): finds the variables to record, declares the recorder's inputs, and holds the
// recorder and writer modules and the queue between them.
#pragma once

#include "Corvane/DaqRecordQueue.h"
#include "Corvane/MicroDAQRecorder.h"
#include "Corvane/MicroDAQWriter.h"
#include "Corvane/ModuleGroup.h"

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace Corvane {

  class DeviceModule;

  class MicroDAQBase : public ModuleGroup {
   public:
    /// Records queued for the writer at most, unless setQueueCapacity() says otherwise.
    static constexpr std::size_t defaultQueueCapacity = 10;
    /// Records taken beyond the capacity while the writer opens or completes a file (a second
    /// at 100 Hz), unless setFileChangeAllowance() says otherwise.
    static constexpr std::size_t defaultFileChangeAllowance = 100;

    /// A placeholder that takes part in nothing until a real MicroDAQ is moved over it.
    MicroDAQBase() = default;
    MicroDAQBase(MicroDAQBase&&) noexcept = default;
    MicroDAQBase& operator=(MicroDAQBase&&) noexcept = default;

    /// Records the variable at `path` as well, with the type and length of the accessors declared
    /// there so far; stored as `storedName` (default: the path). A path already recorded is
    /// left as it is. Throws logic_error when nothing is declared at the path, when the
    /// application is already initialised, or on a placeholder.
    void addSource(const std::string& path, const std::string& storedName = {});
    /// The same for a variable whose accessors are not declared (yet), e.g. a device register.
    void addSource(const std::string& path, DataType type, std::size_t nElements, const std::string& storedName = {});
    /// addSource(path) for each path.
    void recordPaths(const std::vector<std::string>& paths);
    /// Records the readable registers of a device module below `registerSubtree` (relative to
    /// the module's path in the device), stored as namePrefix + "/" + the register's path
    /// relative to that sub-tree.
    void addDeviceModule(DeviceModule& module, const std::string& namePrefix, const std::string& registerSubtree);

    /// Absolute paths of the recorded variables, in recording order.
    std::vector<std::string> recordedPaths() const;

    /// Maximum number of records waiting for the writer (at least 1); before the application runs.
    void setQueueCapacity(std::size_t records);
    /// Records taken beyond the capacity while the writer opens or completes a file, so that a
    /// slow file change costs no trigger; before the application runs.
    void setFileChangeAllowance(std::size_t records);
    /// The directory tree that files are written in (see MicroDAQ.h): relative to the working
    /// directory or absolute; empty (the default): the working directory. Before the
    /// application runs.
    void setDirectoryRoot(const std::string& root);

    /// Test hook: while held, the writer takes nothing from the queue (and the test facility
    /// regards it as idle), so that a test can fill the queue deterministically.
    void holdWriter(bool held);
    /// Test hook: while held, the writer stops when it is about to open or complete a file (and
    /// the test facility regards it as idle), as a slow disk would hold it there.
    void holdFileChanges(bool held);

   protected:
    MicroDAQBase(Module* owner, const std::string& name, const std::string& description, const std::string& inputTag,
        const std::string& triggerPath, DataType triggerType, const std::unordered_set<std::string>& tags);

   private:
    void checkConfigurable(const std::string& what) const;
    void recordTagged(const std::string& inputTag, const std::string& triggerPath);

    std::shared_ptr<DaqRecordQueue> _queue;
    MicroDAQRecorder _recorder;
    MicroDAQWriter _writer;
  };

} // namespace Corvane
