// A status output with a text that says why: the status (int32, tagged for aggregation) at
// "<name>" and the message (string) at "<name>_message". Status aggregators pass the message of
// the input that decides their result on to their own message.
//
// Writes send the message first, then the status, so that a reader woken by the status change
// already holds the matching message.
#pragma once

#include "Corvane/StatusOutput.h"

namespace Corvane {

  class StatusWithMessage {
   public:
    using Status = StatusOutput::Status;

    /// Suffix of the message variable's name.
    static constexpr const char* messageSuffix = "_message";

    StatusWithMessage() = default;
    StatusWithMessage(Module* owner, const std::string& name, const std::string& description,
        const std::unordered_set<std::string>& tags = {});
    StatusWithMessage(StatusWithMessage&&) noexcept = default;
    StatusWithMessage& operator=(StatusWithMessage&&) noexcept = default;

    /// Sets both values without writing (e.g. before a writeAll of the owner).
    void set(Status status, const std::string& message);
    void write(Status status, const std::string& message);
    /// Writes each value only if it (or its validity) differs from what was last written.
    void writeIfDifferent(Status status, const std::string& message);
    /// OK with an empty message.
    void writeOk() { write(StatusOutput::OK, ""); }
    void writeOkIfDifferent() { writeIfDifferent(StatusOutput::OK, ""); }

    /// What the variables currently hold.
    Status getStatus() const { return _status.getStatus(); }
    const std::string& getMessage() const { return _message.value(); }

    StatusOutput& statusOutput() { return _status; }
    ScalarOutput<std::string>& messageOutput() { return _message; }

   private:
    StatusOutput _status;
    ScalarOutput<std::string> _message;
  };

} // namespace Corvane
