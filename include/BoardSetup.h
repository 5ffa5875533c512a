// The register values a simulated board takes when it is built, as the power-on configuration
// of a real board's firmware would set them: the wiring of its inputs into the vector sum and
// their detection, which no process variable of the application reaches. Read from a set-up
// file named by the board's device descriptor, one register a line:
//
//   # register           values from element 0 on (through the register's fixed-point format)
//   FD.WORD_VS_CH_ENA    4
//   FD.WORD_IQ_COS       1 0 0 0 0 0 1 0 0 0 0 0 1
//
// "#" starts a comment; blank lines are ignored.
#pragma once

#include <Corvane/DummyBackend.h>

#include <cstddef>
#include <string>
#include <vector>

class BoardSetup {
 public:
  struct Entry {
    std::string registerName;
    std::vector<double> values;
    std::size_t line{0};
  };

  /// Reads and parses a set-up file; Corvane::logic_error naming file and line for a line
  /// without values or with a value that is not a finite number, and when the file cannot be read.
  static BoardSetup load(const std::string& fileName);

  /// Writes every entry into the board's registers, in file order, without register events.
  /// Corvane::logic_error naming file and line for a register the board's map lacks or more
  /// values than the register holds. The caller holds the board's mutex.
  void applyTo(Corvane::DummyBackend& board) const;

  const std::vector<Entry>& entries() const { return _entries; }

 private:
  std::string _fileName;
  std::vector<Entry> _entries;
};
