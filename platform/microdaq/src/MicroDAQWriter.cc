#include "Corvane/MicroDAQWriter.h"

#include "DaqFileRing.h"

#include "Corvane/detail/Nodes.h"

namespace Corvane {

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
    _fileStem(std::move(fileStem)), _recorderPath(std::move(recorderPath)), _triggerPath(std::move(triggerPath)) {}

  void MicroDAQWriter::prepare() {
    _queue->attach(entityNode()->runtime->inbox);
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
      if(_publishing) setCurrentVersionNumber(record->version);
      try {
        _ring->write(*record);
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
      _queue->recycle(std::move(*record));
      return;
    }
    _enabled = std::get<DaqSwitch>(item).enabled;
    if(!_enabled) {
      try {
        _ring->close();
      }
      catch(std::exception& e) {
        fail(e.what());
      }
    }
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
    else status.writeOkIfDifferent();
    filesWritten.writeIfDifferent(_ring->filesWritten());
    recordedTriggers.writeIfDifferent(_recorded);
    currentFile.writeIfDifferent(_ring->currentFile());
  }

} // namespace Corvane
