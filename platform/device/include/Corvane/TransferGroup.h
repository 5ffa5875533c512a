// Reads several registers as one transfer: registers of one device and bar whose words
// overlap or touch are fetched by a single backend read, then every register is converted.
// A device module reads all registers of one trigger this way, so overlapping registers
// (a 2-D area and a channel aliasing it) show the same moment of the board.
//
// If any backend read fails, no register of the group changes its value: a block that the
// backend can read in place is decoded straight from the device's memory into a staged buffer
// of each of its registers (no copy of the words), any other block is copied into a buffer of
// the group; only when every block was read do the registers take their new values (staged
// buffers by exchange, buffered words decoded).
#pragma once

#include "Corvane/TransferElement.h"

#include <memory>
#include <span>
#include <vector>

namespace Corvane {

  class TransferGroup {
   public:
    /// Adds a readable register; Corvane::logic_error naming it when it is write-only.
    void add(std::shared_ptr<TransferElement> element);

    void read();

    std::size_t size() const { return _elements.size(); }

    /// Backend reads one read() makes.
    std::size_t getNumberOfTransfers();

   private:
    struct Block {
      DeviceBackend* backend; // kept alive by the elements
      std::uint8_t bar;
      std::uint64_t begin;
      std::uint64_t end;
      std::vector<TransferElement*> elements;
      std::vector<std::int32_t> buffer; // sized at its first copy: unused while read in place
      bool readInPlace{false};          // of the last read: its registers hold staged values
    };

    void rebuild();
    static void readIntoBuffer(Block& block);
    static void decode(const Block& block, std::span<const std::int32_t> words);
    static void stage(const Block& block, std::span<const std::int32_t> words);
    [[noreturn]] static void rethrowReadError(const Block& block);

    std::vector<std::shared_ptr<TransferElement>> _elements;
    std::vector<Block> _blocks;
    bool _needsRebuild{false};
  };

} // namespace Corvane
