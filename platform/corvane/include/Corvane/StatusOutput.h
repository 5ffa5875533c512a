// A status output: an int32 process variable with an empty unit and the tag that status
// aggregators look for. Its values are the framework's status values OK, FAULT, OFF, WARNING.
#pragma once

#include "Corvane/ScalarAccessor.h"
#include "Corvane/Types.h"

#include <cstdint>
#include <string>
#include <unordered_set>

namespace Corvane {

  class StatusOutput : public ScalarOutput<std::int32_t> {
   public:
    /// Status values as published (unscoped on purpose: StatusOutput::FAULT reads well).
    enum Status : std::int32_t { OK = 0, FAULT = 1, OFF = 2, WARNING = 3 };

    /// Tag that marks status outputs for aggregation.
    static constexpr const char* tag = "_Corvane_StatusOutput_statusOutput";

    StatusOutput() = default;
    StatusOutput(Module* owner, const std::string& name, const std::string& description,
        const std::unordered_set<std::string>& tags = {});
    StatusOutput(StatusOutput&&) noexcept = default;
    StatusOutput& operator=(StatusOutput&&) noexcept = default;

    StatusOutput& operator=(std::int32_t status) {
      value() = status;
      return *this;
    }
    StatusOutput& operator=(Status status) {
      value() = status;
      return *this;
    }

    Status getStatus() const { return static_cast<Status>(value()); }

    /// Name of a status value ("OK", "FAULT", "OFF", "WARNING"; "status N" for others).
    static std::string toString(std::int32_t status);

    /// Whether a variable of this type and these tags is a status (what the variable list, the
    /// XML list and the operator page mark as one): an int32 carrying the status tag.
    static bool isStatus(DataType type, const std::unordered_set<std::string>& tags) {
      return type == DataType::int32 && tags.count(tag) > 0;
    }
  };

} // namespace Corvane
