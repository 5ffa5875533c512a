// What the MicroDAQ's pulse path hands to its writer thread: one record per trigger with the
// values of every recorded variable, and the switch items that tell the writer when recording
// was turned on or off.
#pragma once

#include "Corvane/DaqLayout.h"
#include "Corvane/Types.h"
#include "Corvane/VersionNumber.h"

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace Corvane {

  /// The elements of one variable at one trigger, in the variable's own type.
  using DaqData = std::variant<std::vector<std::int8_t>, std::vector<std::uint8_t>, std::vector<std::int16_t>,
      std::vector<std::uint16_t>, std::vector<std::int32_t>, std::vector<std::uint32_t>, std::vector<std::int64_t>,
      std::vector<std::uint64_t>, std::vector<float>, std::vector<double>, std::vector<Boolean>,
      std::vector<std::string>>;

  struct DaqValue {
    DaqData data;
    DataValidity validity{DataValidity::ok};
    VersionNumber version{nullptr};
    /// Every decimation-th element was kept (1: all of them).
    std::uint32_t decimation{1};
  };

  /// Where and how the writer stores records, as the operator settings stood at the trigger.
  struct DaqFileSettings {
    std::string directory;
    std::uint32_t triggersPerFile{1};
    std::uint32_t numberOfFiles{1};
  };

  struct DaqRecord {
    std::int64_t triggerNumber{0};
    VersionNumber version{nullptr};
    DataValidity triggerValidity{DataValidity::ok};
    DaqFileSettings settings;
    std::shared_ptr<const DaqLayout> layout;
    /// One value per variable of the layout, in its order.
    std::vector<DaqValue> values;
  };

  /// Recording was switched on or off. On: the writer opens the file for `settings` at once,
  /// before the first record arrives. Off: it completes its current file.
  struct DaqSwitch {
    bool enabled{false};
    DaqFileSettings settings;
  };

  using DaqQueueItem = std::variant<DaqRecord, DaqSwitch>;

} // namespace Corvane
