// The writer thread of a MicroDAQ: takes the queued records and stores them in the ring of
// HDF5 files, and publishes how that goes. A file that cannot be written (unwritable or
// missing directory, full disk) turns the status to WARNING with the cause, sends one event
// message per distinct error and logs it; the next record tries again, and the status returns
// to OK with the first record written. At shutdown the records still queued are written and
// the current file is completed.
//
// Switching recording on opens the first file at once, before the first record comes. While
// the writer opens or completes a file the queue takes more records than its capacity (see
// DaqRecordQueue), so a slow file change costs no trigger.
//
// Files are written only below the directory root (DaqDirectoryGuard). A directory setting
// outside it is refused: the writer keeps writing into the last accepted directory (at first
// the default one, when that lies below the root), the status is WARNING with the reason
// while the setting stands, and the refusal is logged and sent as an event once per setting.
#pragma once

#include "Corvane/AggregatableMessage.h"
#include "Corvane/ApplicationModule.h"
#include "Corvane/DaqRecordQueue.h"
#include "Corvane/ScalarAccessor.h"
#include "Corvane/StatusWithMessage.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Corvane {

  class DaqDirectoryGuard;
  class DaqFileRing;
  struct DaqFileSettings;

  class MicroDAQWriter : public ApplicationModule {
   public:
    MicroDAQWriter();
    /// Named "." inside its MicroDAQ. Files are "<fileStem>_<index>.h5"; `recorderPath` and
    /// `triggerPath` are stored as attributes of each file.
    MicroDAQWriter(Module* owner, std::shared_ptr<DaqRecordQueue> queue, std::string fileStem,
        std::string recorderPath, std::string triggerPath);
    MicroDAQWriter(MicroDAQWriter&&) noexcept;
    MicroDAQWriter& operator=(MicroDAQWriter&&) noexcept;
    ~MicroDAQWriter() override;

    /// See MicroDAQBase::setDirectoryRoot(); before the application runs.
    void setDirectoryRoot(std::string root) { _directoryRoot = std::move(root); }

    void prepare() override;
    void mainLoop() override;

    StatusWithMessage status;
    AggregatableMessage errorMessage;
    ScalarOutput<std::uint64_t> filesWritten;
    ScalarOutput<std::uint64_t> recordedTriggers;
    ScalarOutput<std::string> currentFile;
    ScalarOutput<std::string> lastError;

   protected:
    void deactivate() override;

   private:
    void handle(DaqQueueItem& item);
    void write(DaqRecord& record);
    void fail(const std::string& message);
    void publish();
    /// The settings with the directory replaced by the last accepted one when it is refused.
    DaqFileSettings confined(const DaqFileSettings& settings);

    std::shared_ptr<DaqRecordQueue> _queue;
    std::string _fileStem;
    std::string _recorderPath;
    std::string _triggerPath;
    std::string _directoryRoot;
    std::unique_ptr<DaqDirectoryGuard> _guard;
    std::unique_ptr<DaqFileRing> _ring;
    /// The directory setting last checked, and the directory it gave (itself or the last accepted).
    std::string _checkedDirectory;
    std::string _acceptedDirectory;
    bool _checked{false};
    /// Why the directory setting is refused, empty while it is accepted.
    std::string _refusal;
    bool _enabled{false};
    bool _publishing{true};
    std::string _error;
    std::uint64_t _recorded{0};
  };

} // namespace Corvane
