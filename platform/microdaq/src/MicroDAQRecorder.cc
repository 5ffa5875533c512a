#include "Corvane/MicroDAQRecorder.h"

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
    _queue->push(DaqSwitch{_enabled});
    while(true) {
      _trigger->read();
      // the settings as they are at this trigger; the recorded values only when they are recorded,
      // so that a switched-off recorder costs no copy of them
      enable.read();
      directory.read();
      triggersPerFile.read();
      numberOfFiles.read();
      decimationFactor.read();
      decimationThreshold.read();
      onTrigger();
    }
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
    if(static_cast<bool>(enable) != _enabled) {
      _enabled = enable;
      _queue->push(DaqSwitch{_enabled});
    }
    if(!_enabled) return;
    if(_queue->full()) {
      droppedTriggers.setAndWrite(droppedTriggers + 1);
      return;
    }
    DaqRecord record = _queue->spare();
    record.triggerNumber = _triggerType == DataType::nodata ? _triggerCount : _trigger->number();
    record.version = _trigger->getVersionNumber();
    record.triggerValidity = _trigger->dataValidity();
    record.settings = fileSettings();
    record.layout = _layout;
    record.values.resize(_inputs.size());
    for(std::size_t i = 0; i < _inputs.size(); ++i) {
      _inputs[i]->read();
      _inputs[i]->capture(record.values[i], decimationThreshold, decimationFactor);
    }
    // only this thread queues records, so the room seen above is still there
    _queue->push(std::move(record));
  }

} // namespace Corvane
