#include "Corvane/MicroDAQRecorder.h"

#include "Corvane/Logger.h"
#include "Corvane/Time.h"
#include "Corvane/detail/Nodes.h"

#include <algorithm>

namespace Corvane {

  MicroDAQRecorder::MicroDAQRecorder(Module* owner, const std::string& triggerPath, DataType triggerType,
      std::shared_ptr<DaqRecordQueue> queue)
  : ApplicationModule(owner, ".", "Records the variables on each trigger"),
    enable(this, "enable", "", "Record on every trigger (off at the first start unless configured)"),
    directory(this, "directory", "",
        std::string("Directory of the files (empty: ") + defaultDirectory + " in the working directory)"),
    triggersPerFile(this, "triggersPerFile", "",
        "Triggers stored per file (0: " + std::to_string(defaultTriggersPerFile) + ")"),
    numberOfFiles(this, "numberOfFiles", "",
        "Files in the ring, the oldest is replaced (0: " + std::to_string(defaultNumberOfFiles) + ")"),
    decimationFactor(this, "decimationFactor", "",
        "Arrays longer than decimationThreshold keep every n-th element (0 or 1: all)"),
    decimationThreshold(this, "decimationThreshold", "", "Arrays with more elements than this are decimated"),
    droppedTriggers(this, "droppedTriggers", "", "Triggers not recorded because the writer was behind"),
    _triggerType(triggerType),
    _trigger(DaqInput::make(this, triggerPath, triggerType, 1, UpdateMode::push, "")), _queue(std::move(queue)) {}

  void MicroDAQRecorder::addSource(const DaqVariable& variable) {
    _inputs.push_back(DaqInput::make(this, variable.path, variable.type, variable.nElements, UpdateMode::poll, ""));
    _variables.push_back(variable);
  }

  bool MicroDAQRecorder::isRecorded(const std::string& path) const {
    return std::any_of(_variables.begin(), _variables.end(), [&](const DaqVariable& v) { return v.path == path; });
  }

  void MicroDAQRecorder::prepare() {
    _layout = std::make_shared<const DaqLayout>(_variables);
    droppedTriggers = 0;
    droppedTriggers.write();
  }

  void MicroDAQRecorder::mainLoop() {
    // the trigger's initial value is no trigger; the switch tells the writer the starting state
    _enabled = enable;
    _queue->push(DaqSwitch{_enabled, fileSettings()});
    while(true) {
      _trigger->read();
      // the settings as they are at this trigger; the others and the recorded values only when
      // they are used, so that a switched-off recorder costs next to nothing per pulse
      enable.read();
      if(enable || _enabled) readSettings();
      onTrigger();
    }
  }

  void MicroDAQRecorder::readSettings() {
    directory.read();
    triggersPerFile.read();
    numberOfFiles.read();
    decimationFactor.read();
    decimationThreshold.read();
  }

  DaqFileSettings MicroDAQRecorder::fileSettings() const {
    DaqFileSettings settings;
    settings.directory = directory.value().empty() ? std::string(defaultDirectory) : directory.value();
    settings.triggersPerFile = triggersPerFile != 0 ? triggersPerFile.value() : defaultTriggersPerFile;
    settings.numberOfFiles = numberOfFiles != 0 ? numberOfFiles.value() : defaultNumberOfFiles;
    return settings;
  }

  void MicroDAQRecorder::onTrigger() {
    ++_triggerCount;
    const auto triggerNumber = _triggerType == DataType::nodata ? _triggerCount : _trigger->number();
    if(static_cast<bool>(enable) != _enabled) {
      _enabled = enable;
      _queue->push(DaqSwitch{_enabled, fileSettings()});
    }
    if(!_enabled) {
      reportDrops();
      return;
    }
    if(_queue->full()) {
      droppedTriggers.setAndWrite(droppedTriggers + 1);
      if(!_dropsUnreported) _firstUnreportedDrop = triggerNumber;
      _dropsUnreported = true;
      _lastUnreportedDrop = triggerNumber;
      _dropLog.note();
      reportDrops();
      return;
    }
    reportDrops();
    DaqRecord record = _queue->spare();
    record.triggerNumber = triggerNumber;
    record.version = _trigger->getVersionNumber();
    record.triggerValidity = _trigger->dataValidity();
    record.settings = fileSettings();
    record.layout = _layout;
    record.values.resize(_inputs.size());
    for(std::size_t i = 0; i < _inputs.size(); ++i) {
      _inputs[i]->read();
      _inputs[i]->capture(record.values[i], decimationThreshold, decimationFactor);
    }
    // only this thread queues records, so the room seen above is still there (or more of it)
    _queue->push(std::move(record));
  }

  void MicroDAQRecorder::reportDrops() {
    std::uint64_t dropped = 0;
    if(!_dropsUnreported || !_dropLog.due(steadyNow(), dropped)) return;
    auto line = logger(Logger::Severity::warning, entityNode()->directory());
    line << dropped << " trigger" << (dropped == 1 ? "" : "s") << " not recorded (";
    if(dropped == 1) line << "trigger " << _lastUnreportedDrop;
    else line << "triggers " << _firstUnreportedDrop << " to " << _lastUnreportedDrop;
    line << "): the writer is behind, " << _queue->capacity() << " records wait for it";
    _dropsUnreported = false;
  }

} // namespace Corvane
