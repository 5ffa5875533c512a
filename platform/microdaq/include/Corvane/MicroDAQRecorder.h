// The pulse path of a MicroDAQ: on every update of the trigger it takes the current value of
// each recorded variable (poll inputs of the variables' own types and lengths) and queues one
// record for the writer. It never waits for the writer: a trigger that finds the queue full is
// dropped whole, counted, and logged as a warning (at most one line per second, naming the
// triggers). The operator settings are polled at each trigger, so the module's version is
// always the trigger's and its outputs carry the version of the pulse. Switched off, it takes
// each trigger and reads "enable" only: the recorded values and the other settings are not
// touched.
#pragma once

#include "Corvane/ApplicationModule.h"
#include "Corvane/DaqInput.h"
#include "Corvane/DaqLayout.h"
#include "Corvane/DaqRecordQueue.h"
#include "Corvane/LogRateLimit.h"
#include "Corvane/ScalarAccessor.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Corvane {

  class MicroDAQRecorder : public ApplicationModule {
   public:
    static constexpr const char* defaultDirectory = "uDAQ";
    static constexpr std::uint32_t defaultTriggersPerFile = 100;
    static constexpr std::uint32_t defaultNumberOfFiles = 10;

    MicroDAQRecorder() = default;
    /// The module is named "." inside its MicroDAQ; `triggerPath` is relative to that directory
    /// or absolute. `triggerType` may be Void (the trigger number is then counted from 1).
    MicroDAQRecorder(Module* owner, const std::string& triggerPath, DataType triggerType,
        std::shared_ptr<DaqRecordQueue> queue);
    MicroDAQRecorder(MicroDAQRecorder&&) noexcept = default;
    MicroDAQRecorder& operator=(MicroDAQRecorder&&) noexcept = default;
    ~MicroDAQRecorder() override = default;

    /// Declares the poll input for one more variable (before the application is initialised).
    void addSource(const DaqVariable& variable);
    bool isRecorded(const std::string& path) const;
    const std::vector<DaqVariable>& variables() const { return _variables; }

    void prepare() override;
    void mainLoop() override;

    ScalarPollInput<Boolean> enable;
    ScalarPollInput<std::string> directory;
    ScalarPollInput<std::uint32_t> triggersPerFile;
    ScalarPollInput<std::uint32_t> numberOfFiles;
    ScalarPollInput<std::uint32_t> decimationFactor;
    ScalarPollInput<std::uint32_t> decimationThreshold;
    ScalarOutput<std::uint64_t> droppedTriggers;

   private:
    void onTrigger();
    void readSettings();
    DaqFileSettings fileSettings() const;
    /// Logs the dropped triggers not yet reported, when the last line is a second old.
    void reportDrops();

    DataType _triggerType{DataType::int32};
    std::unique_ptr<DaqInput> _trigger;
    std::vector<DaqVariable> _variables;
    std::vector<std::unique_ptr<DaqInput>> _inputs;
    std::shared_ptr<const DaqLayout> _layout;
    std::shared_ptr<DaqRecordQueue> _queue;
    bool _enabled{false};
    std::int64_t _triggerCount{0};
    LogRateLimit _dropLog;
    /// Trigger numbers of the first and last drop not yet logged.
    bool _dropsUnreported{false};
    std::int64_t _firstUnreportedDrop{0}, _lastUnreportedDrop{0};
  };

} // namespace Corvane
