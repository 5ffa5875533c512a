// Description of one register of a register map: where its words lie, how they convert,
// and who may read or write it.
//
// Every element is one 32-bit word. A 2-D area of C channels by S samples keeps each
// channel's samples contiguous: channel c, sample s is element c*S + s. Registers may
// overlap on purpose (a 1-D register inside an area sees one channel; a read-back register
// on the address of its write register).
//
// A bit field takes `width` bits of each of its words, from bit `bitOffset` on: reads see
// those bits alone, writes change only them (read-modify-write, see DeviceBackend::writeBits),
// so several registers can share a word.
#pragma once

#include "Corvane/RegisterConverter.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace Corvane {

  /// `word` with the bits of `mask` taken from `bits`.
  inline std::int32_t mergeBits(std::int32_t word, std::int32_t bits, std::uint32_t mask) {
    return static_cast<std::int32_t>(
        (static_cast<std::uint32_t>(word) & ~mask) | (static_cast<std::uint32_t>(bits) & mask));
  }

  struct RegisterInfo {
    enum class Access { readOnly, readWrite, writeOnly, interrupt };
    enum class Encoding { fixedPoint, ieee754, none };

    std::string path;             ///< canonical, e.g. "/Controller/Status/controllerStatus"
    std::size_t nElements{};      ///< channels * samples
    std::size_t nChannels{1};     ///< 1 for a 1-D register
    std::size_t nSamples{};       ///< elements per channel
    std::uint64_t address{};      ///< byte address in the bar
    std::uint64_t nBytes{};       ///< 4 * nElements
    std::uint8_t bar{};
    unsigned width{32};           ///< bits; 0 for a register without data
    unsigned bitOffset{0};        ///< first bit of the value in its word (bit fields)
    bool isBitField{false};       ///< declared with a bit offset: writes keep the word's other bits
    int fracBits{};               ///< fixed point only
    bool isSigned{true};
    Encoding encoding{Encoding::fixedPoint};
    Access access{Access::readWrite};
    std::uint32_t interruptNumber{};  ///< for Access::interrupt
    std::string mapFile;          ///< where the register was declared
    std::size_t line{};

    /// Read by the application (interrupt registers are read when their interrupt fires).
    bool isReadable() const { return access != Access::writeOnly; }
    bool isWritable() const { return access == Access::readWrite || access == Access::writeOnly; }
    bool isInterrupt() const { return access == Access::interrupt; }
    bool is2D() const { return nChannels > 1; }
    bool hasData() const { return encoding != Encoding::none && nElements > 0; }

    /// True for fixed-point registers whose values are always integers (fracBits <= 0).
    bool isIntegral() const { return encoding == Encoding::fixedPoint && fracBits <= 0; }

    /// The bits of each word that belong to the register (all of them unless a bit field).
    std::uint32_t bitMask() const {
      if(!isBitField) return 0xFFFFFFFFu;
      return (width >= 32 ? 0xFFFFFFFFu : ((std::uint32_t{1} << width) - 1)) << bitOffset;
    }

    /// The word after writing `raw` (a converted value) into `word`: `raw` itself, or for a bit
    /// field the field's bits of `raw` with the other bits of `word`.
    std::int32_t mergeInto(std::int32_t word, std::int32_t raw) const {
      return isBitField ? mergeBits(word, raw, bitMask()) : raw;
    }

    /// "file:line" of the declaration, for messages.
    std::string location() const { return mapFile + ":" + std::to_string(line); }

    /// The register's conversion between raw words and user values.
    RegisterConverter converter() const;

    static std::string accessName(Access access);

#ifdef CORVANE_DEVICE_HAS_FRAMEWORK_TYPES
    /// The process-variable type that holds every value of the register exactly: int32/uint32
    /// (int64/uint64 when a negative fracBits widens the range) for integral fixed point,
    /// double for fractional fixed point, float for IEEE-754, void without data.
    DataType naturalType() const;
#endif
  };

} // namespace Corvane
