// The values of a module's parameter inputs (and of the derived values its
// tables are computed from) as the last table regeneration used them. A batch
// of changes regenerates the tables only when some value now differs from its
// snapshot: a rewrite with the value already held, a rejected value that was
// restored, or a write undone within the same batch leave the tables as they
// are.
//
// Values compare exactly: numbers by their bits (so -0.0 differs from +0.0 and
// a NaN differs from every other bit pattern, but not from itself), arrays
// element by element, texts by their characters. The snapshot is sized once;
// comparing and taking numbers allocates nothing.
#pragma once

#include <Corvane/TransferElementID.h>
#include <Corvane/VariableNetworkNode.h>

#include <cstddef>
#include <string>
#include <vector>

namespace TableGeneration {

  class ParameterSnapshot {
   public:
    /// Takes the current values of `inputs`, which belong to the calling
    /// module and are read only in its thread.
    explicit ParameterSnapshot(const std::vector<Corvane::VariableNetworkNode>& inputs);

    /// Takes the current values; true when at least one differed from the
    /// snapshot.
    bool update();

    /// Whether the input with this id holds the value of the snapshot (true
    /// for an input the snapshot does not hold).
    bool unchanged(const Corvane::TransferElementID& input) const;

   private:
    struct Entry {
      Corvane::VariableNetworkNode input;
      std::size_t offset; // into _bytes, or _texts for text inputs
      std::size_t size; // bytes, or elements for text inputs
      bool isText;
    };

    /// The current value's storage of a non-text input, and the values of a text input.
    static const std::byte* bytesOf(const Corvane::VariableNetworkNode& input);
    static const std::vector<std::string>& textsOf(const Corvane::VariableNetworkNode& input);
    /// Whether the input of `e` holds its snapshot value.
    bool holds(const Entry& e) const;

    std::vector<Entry> _entries;
    std::vector<std::byte> _bytes;
    std::vector<std::string> _texts;
  };

} // namespace TableGeneration
