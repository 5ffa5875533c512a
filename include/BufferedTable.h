// A controller table that the firmware holds twice (double-buffered): the I/Q arrays of TableIQ go into the
// buffer the firmware does not use, and the buffer selects then point the firmware at it. The firmware
// reports the buffer it uses in "bufferCurrentI"/"bufferCurrentQ" (0 or 1; polled), the server asks for one
// with "bufferSelectI"/"bufferSelectQ".
//
// writeToFirmware() is the one way every writer replaces such a table: under the board's firmware table lock,
// write I, write Q, read both current buffers, select the other buffer of each (I before Q), release the lock.
// A table holding a value the firmware cannot take (not finite, or beyond single precision) is refused before
// the lock, so that the firmware never switches to a buffer that did not get the whole table.
#pragma once

#include "MultiClientFirmwareMutex.h"
#include "TableIQ.h"

#include <Corvane/ScalarAccessor.h>
#include <Corvane/Utilities.h>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>

template<class T>
class BufferedTable : public TableIQ<T> {
 public:
  /// Whether the user buffers may be given up by the write (their content is undefined afterwards).
  enum class DataWrite { ordinary, destructive };

  BufferedTable(Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {})
  : TableIQ<T>(owner, name, description, tags) {}
  BufferedTable(BufferedTable&&) noexcept = default;
  BufferedTable& operator=(BufferedTable&&) noexcept = default;
  ~BufferedTable() override = default;

  /// Writes the user buffers' table into the firmware's free buffers and selects them. Returns false, having
  /// written nothing and taken no lock, when an element is refused; the reason is logged once, naming the
  /// table by its path, with `source` as the log's source. The lock is released on every path.
  bool writeToFirmware(MultiClientFirmwareMutex::ClientInterface& lockClient, DataWrite dataWrite,
      const std::string& source);

  /// The table's directory, which names it in messages.
  std::string path() const { return Corvane::Utilities::getPathName(this->I.getName()); }

  /// The buffer to select when the firmware uses `current`: the other one (any value but 0 counts as 1).
  static std::int32_t otherBuffer(std::int32_t current) { return current == 0 ? 1 : 0; }

  Corvane::ScalarOutput<std::int32_t> bufferSelectI{this, "bufferSelectI", "", "Select FW buffer"};
  Corvane::ScalarOutput<std::int32_t> bufferSelectQ{this, "bufferSelectQ", "", "Select FW buffer"};
  Corvane::ScalarPollInput<std::int32_t> bufferCurrentI{this, "bufferCurrentI", "", "Current FW buffer"};
  Corvane::ScalarPollInput<std::int32_t> bufferCurrentQ{this, "bufferCurrentQ", "", "Current FW buffer"};

 private:
  /// Why the table cannot go to the firmware, or nullopt.
  std::optional<std::string> refusal() const;
};

extern template class BufferedTable<double>;
