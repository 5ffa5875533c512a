// A register map file and the catalogue it defines.
//
// One register a line:
//
//   NAME  nElements  address  nBytes  bar  [width  [fracBits  [signed  [access]]]]
//
// - NAME: components joined by "." or "/", any depth ("Controller.Status.controllerStatus"
//   is the register "/Controller/Status/controllerStatus").
// - nElements: a count, or "CxS" for a 2-D area of C channels by S samples (each channel's
//   samples contiguous). 0 only for an interrupt register that carries no data.
// - address, nBytes: byte address and size (decimal or 0x-hex); the address is word-aligned
//   and nBytes is 4 * nElements. The address may be followed by ":BIT" (BIT 0..31, decimal):
//   the register is then a bit field, `width` bits of each of its words from bit BIT on, e.g.
//     CTABLES.BUF_SELECT_FF_I  1  0x400:0  4  0  1  0  0     # bit 0 of the word at 0x400
//     CTABLES.BUF_SELECT_FF_Q  1  0x400:1  4  0  1  0  0     # bit 1 of the same word
//   Reads see the field's bits alone (shifted down); writes change only them, read-modify-write
//   under the backend's lock, so registers sharing a word never overwrite each other. A bit
//   field is fixed point and lies within its word (BIT + width <= 32); width defaults to 32,
//   so a field from bit 1 on needs its width. "0x400:0" with width 32 writes whole words.
// - bar: 0..255.
// - width: 1..32 bits of fixed point (default 32), or 0 for a register without data (void).
// - fracBits: -256..256 (default 0), or the keyword IEEE754 for a single-precision float
//   register (width must then be 32).
// - signed: 1 or 0 (default 1).
// - access: RO, RW (default), WO, or INTERRUPT / INTERRUPT:n (pushed when interrupt n, default
//   0, fires).
// "#" starts a comment; blank lines are ignored. Names are unique, and no register lies below
// another ("A" and "A.B" together are refused). Errors name file and line.
#pragma once

#include "Corvane/RegisterInfo.h"

#include <cstdint>
#include <istream>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Corvane {

  class RegisterMap {
   public:
    RegisterMap() = default;

    /// Reads and parses a map file; Corvane::logic_error when it cannot be read, is not a regular
    /// file of at most TextFile::defaultMaxBytes (a device such as /dev/zero), or is malformed.
    static RegisterMap load(const std::string& fileName);

    /// Parses map text; `fileName` is used in messages and as the map's name.
    static RegisterMap parse(std::istream& input, const std::string& fileName);

    const std::string& fileName() const { return _fileName; }

    bool hasRegister(std::string_view path) const;

    /// Corvane::logic_error naming the path and the map file when there is no such register.
    const RegisterInfo& getRegister(std::string_view path) const;

    /// All registers in file order.
    const std::vector<RegisterInfo>& registers() const { return _registers; }

    /// Registers strictly below a directory ("/" lists all), in file order. Pointers stay valid
    /// as long as the map.
    std::vector<const RegisterInfo*> registersBelow(std::string_view directory) const;

    /// Bytes each used bar must provide (end of its last register).
    std::map<std::uint8_t, std::uint64_t> barSizes() const;

   private:
    void checkNoRegisterIsADirectory() const;

    std::string _fileName;
    std::vector<RegisterInfo> _registers;
    std::unordered_map<std::string, std::size_t> _index;
  };

} // namespace Corvane
