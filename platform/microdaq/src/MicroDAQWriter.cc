#include "Corvane/MicroDAQWriter.h"

#include "DaqDirectoryGuard.h"
#include "DaqFileRing.h"

#include "Corvane/MicroDAQRecorder.h"
#include "Corvane/detail/Nodes.h"

#include <optional>

namespace Corvane {

  namespace {
    /// Marks the time the writer spends opening or completing a file, in which the queue takes
    /// records beyond its capacity.
    class FileChange {
     public:
      explicit FileChange(DaqRecordQueue& queue) : _queue(queue) {
        _queue.beginFileChange();
        _queue.waitWhileFileChangesHeld();
      }
      ~FileChange() { _queue.endFileChange(); }
      FileChange(const FileChange&) = delete;
      FileChange& operator=(const FileChange&) = delete;

     private:
      DaqRecordQueue& _queue;
    };
  } // namespace

  MicroDAQWriter::MicroDAQWriter() = default;
  MicroDAQWriter::MicroDAQWriter(MicroDAQWriter&&) noexcept = default;
  MicroDAQWriter& MicroDAQWriter::operator=(MicroDAQWriter&&) noexcept = default;
  MicroDAQWriter::~MicroDAQWriter() = default;

  MicroDAQWriter::MicroDAQWriter(Module* owner, std::shared_ptr<DaqRecordQueue> queue, std::string fileStem,
      std::string recorderPath, std::string triggerPath)
  : ApplicationModule(owner, ".", "Writes the recorded triggers into the ring of files"),
    status(this, "status", "Recording status: OK, OFF while disabled, WARNING while files cannot be written"),
    errorMessage(this, "errorMessage", "", "Event message when recording fails"),
    filesWritten(this, "filesWritten", "", "Files completed since the start"),
    recordedTriggers(this, "recordedTriggers", "", "Triggers written to files since the start"),
    currentFile(this, "currentFile", "", "File being written"),
    lastError(this, "lastError", "", "Last error of the writer (kept after recovery)"), _queue(std::move(queue)),
    _fileStem(std::move(fileStem)), _recorderPath(std::move(recorderPath)), _triggerPath(std::move(triggerPath)) {
    // file writes block outside the framework
    requestOwnThread();
  }

  void MicroDAQWriter::prepare() {
    _queue->attach(entityNode()->runtime->inbox);
    _guard = std::make_unique<DaqDirectoryGuard>(_directoryRoot);
    _ring = std::make_unique<DaqFileRing>(_fileStem, Hdf5RecordFile::Description{_recorderPath, _triggerPath});
    status.set(StatusOutput::OFF, "recording disabled");
    errorMessage = "";
    filesWritten = 0;
    recordedTriggers = 0;
    currentFile = "";
    lastError = "";
    writeAll();
  }

  void MicroDAQWriter::mainLoop() {
    while(true) {
      auto item = _queue->pop();
      handle(item);
      publish();
    }
  }

  void MicroDAQWriter::deactivate() {
    // the threads have ended: write what is still queued and complete the file, publishing nothing
    if(!_ring) return;
    _publishing = false;
    while(auto item = _queue->tryPop()) handle(*item);
    try {
      _ring->close();
    }
    catch(std::exception& e) {
      fail(e.what());
    }
  }

  void MicroDAQWriter::handle(DaqQueueItem& item) {
    if(auto* record = std::get_if<DaqRecord>(&item)) {
      write(*record);
      _queue->recycle(std::move(*record));
      return;
    }
    auto& change = std::get<DaqSwitch>(item);
    _enabled = change.enabled;
    FileChange fileChange(*_queue);
    try {
      if(!_enabled) {
        _ring->close();
        return;
      }
      // the first file is ready before the first record of the recording comes
      auto settings = confined(change.settings);
      if(!settings.directory.empty()) _ring->prepare(settings);
    }
    catch(std::exception& e) {
      fail(e.what());
    }
  }

  void MicroDAQWriter::write(DaqRecord& record) {
    if(_publishing) setCurrentVersionNumber(record.version);
    record.settings = confined(record.settings);
    if(record.settings.directory.empty()) return; // no directory below the root: the refusal is shown
    std::optional<FileChange> fileChange;
    if(_ring->changesFile(record.settings)) fileChange.emplace(*_queue);
    try {
      _ring->write(record);
      ++_recorded;
      if(!_error.empty()) {
        logger(Logger::Severity::info, _recorderPath) << "recording resumed";
        _error.clear();
        if(_publishing) errorMessage.setAndWrite("");
      }
    }
    catch(std::exception& e) {
      fail(e.what());
    }
  }

  DaqFileSettings MicroDAQWriter::confined(const DaqFileSettings& settings) {
    DaqFileSettings result = settings;
    const bool sameSetting = _checked && settings.directory == _checkedDirectory;
    if(sameSetting && !_refusal.empty()) result.directory = _acceptedDirectory;
    // the file system is asked again whenever a file is opened: a link may have been added since
    if(sameSetting && !_ring->changesFile(result)) return result;
    _checked = true;
    _checkedDirectory = settings.directory;
    auto refusal = _guard->refusal(settings.directory);
    if(!refusal) {
      _acceptedDirectory = settings.directory;
      if(!_refusal.empty()) {
        logger(Logger::Severity::info, _recorderPath) << "directory " << settings.directory << " accepted";
        if(_publishing && _error.empty()) errorMessage.setAndWrite("");
      }
      _refusal.clear();
      return settings;
    }
    if(_acceptedDirectory.empty() && !_guard->refusal(MicroDAQRecorder::defaultDirectory)) {
      _acceptedDirectory = MicroDAQRecorder::defaultDirectory;
    }
    if(*refusal != _refusal) {
      _refusal = *refusal;
      auto line = logger(Logger::Severity::warning, _recorderPath);
      line << _refusal;
      if(_acceptedDirectory.empty()) line << "; nothing is recorded until a directory below it is set";
      else line << "; recording goes on in " << _acceptedDirectory;
      if(_publishing) {
        lastError.setAndWrite(_refusal);
        errorMessage.setAndWrite(_refusal);
      }
    }
    result.directory = _acceptedDirectory;
    return result;
  }

  void MicroDAQWriter::fail(const std::string& message) {
    // one log line and one event per distinct cause, not one per trigger
    if(message == _error) return;
    _error = message;
    logger(Logger::Severity::error, _recorderPath) << "recording failed: " << message;
    if(!_publishing) return;
    lastError.setAndWrite(message);
    errorMessage.setAndWrite(message);
  }

  void MicroDAQWriter::publish() {
    if(!_enabled) status.writeIfDifferent(StatusOutput::OFF, "recording disabled");
    else if(!_error.empty()) status.writeIfDifferent(StatusOutput::WARNING, _error);
    else if(!_refusal.empty()) status.writeIfDifferent(StatusOutput::WARNING, _refusal);
    else status.writeOkIfDifferent();
    filesWritten.writeIfDifferent(_ring->filesWritten());
    recordedTriggers.writeIfDifferent(_recorded);
    currentFile.writeIfDifferent(_ring->currentFile());
  }

} // namespace Corvane
