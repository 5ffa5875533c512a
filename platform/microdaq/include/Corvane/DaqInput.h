// An input of the MicroDAQ whose value type is known only at run time: the poll inputs on the
// recorded variables and the push input on the trigger. Each wraps an array accessor of the
// variable's own type, so no conversion happens on the way into the file.
#pragma once

#include "Corvane/DaqRecord.h"
#include "Corvane/detail/Flags.h"
#include "Corvane/TransferElementID.h"
#include "Corvane/Types.h"
#include "Corvane/VersionNumber.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace Corvane {

  class Module;

  class DaqInput {
   public:
    /// An input of `type` (not Void for recorded values) with `nElements` at `name`, owned by
    /// `owner`; throws logic_error for an invalid name.
    static std::unique_ptr<DaqInput> make(Module* owner, const std::string& name, DataType type, std::size_t nElements,
        UpdateMode mode, const std::string& description);

    virtual ~DaqInput() = default;

    /// Reads the input: a push input waits for its next value, a poll input takes the newest.
    virtual void read() = 0;

    /// Copies the current value into `out`, keeping every `factor`-th element of arrays longer
    /// than `threshold` (factor 0 or 1 keeps all).
    virtual void capture(DaqValue& out, std::size_t threshold, std::uint32_t factor) const = 0;

    /// The first element as a signed 64-bit integer (rounded and clamped); 0 for Void and strings.
    virtual std::int64_t number() const = 0;

    virtual TransferElementID getId() const = 0;
    virtual VersionNumber getVersionNumber() const = 0;
    virtual DataValidity dataValidity() const = 0;
  };

} // namespace Corvane
