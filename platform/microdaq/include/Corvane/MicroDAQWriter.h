// The writer thread of a MicroDAQ: takes the queued records and stores them in the ring of
// HDF5 files, and publishes how that goes. A file that cannot be written (unwritable or
// missing directory, full disk) turns the status to WARNING with the cause, sends one event
// message per distinct error and logs it; the next record tries again, and the status returns
// to OK with the first record written. At shutdown the records still queued are written and
// the current file is completed.
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

  class DaqFileRing;

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
    void fail(const std::string& message);
    void publish();

    std::shared_ptr<DaqRecordQueue> _queue;
    std::string _fileStem;
    std::string _recorderPath;
    std::string _triggerPath;
    std::unique_ptr<DaqFileRing> _ring;
    bool _enabled{false};
    bool _publishing{true};
    std::string _error;
    std::uint64_t _recorded{0};
  };

} // namespace Corvane
