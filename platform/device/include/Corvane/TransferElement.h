// One register (or a part of one) of one device, ready to transfer: the untyped half of a
// RegisterAccessor, which is what a TransferGroup works with.
//
// read() decodes straight from the device's memory when the backend can read in place, and
// from a copy otherwise. read() and write() check the register's access mode (reading a
// write-only register or writing a read-only or interrupt register is a Corvane::logic_error
// naming it). Faults of
// the device come out as Corvane::runtime_error naming device and register, whatever the
// backend threw; conversion errors (NaN to fixed point) are Corvane::logic_error and are
// raised before anything is written.
//
// A value written that the register cannot hold (beyond its range) saturates: the register
// holds the extreme of its range. Such a write goes through, and a warning naming the device,
// the register, the value and what the register holds is logged at the first saturated write
// of an episode (a write that fits ends it); lastSaturation() tells the writer.
#pragma once

#include "Corvane/DeviceBackend.h"
#include "Corvane/RegisterInfo.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace Corvane {

  class TransferGroup;

  class TransferElement {
   public:
    virtual ~TransferElement() = default;
    TransferElement(const TransferElement&) = delete;
    TransferElement& operator=(const TransferElement&) = delete;

    void read();
    void write();

    /// write() in two steps, for writers that must know whether the register takes a value
    /// before they keep it: convertForWrite() converts the user values to the register's words
    /// (a value the register cannot take is a Corvane::logic_error, and the words of the last
    /// accepted value stay in place); writeConverted() writes those words, again on every call.
    /// A read of this element through a backend that cannot be read in place replaces the words.
    void convertForWrite();
    void writeConverted();

    /// Elements of the last conversion for a write that the register could not hold.
    const RegisterConverter::Saturation& lastSaturation() const { return _saturation; }

    const RegisterInfo& getRegisterInfo() const { return *_info; }
    const std::string& getDeviceName() const { return _deviceName; }
    std::size_t getNumberOfElements() const { return _raw.size(); }
    std::size_t getOffset() const { return _offset; }
    const std::shared_ptr<DeviceBackend>& getBackend() const { return _backend; }

    std::uint64_t byteAddress() const { return _info->address + 4 * _offset; }
    std::size_t byteSize() const { return 4 * _raw.size(); }

    /// Turns the exception being handled into the device access's error for `context`.
    [[noreturn]] static void rethrowTransferError(const std::string& context);

   protected:
    /// `info` must belong to the backend's register map; nElements + offset must fit it.
    TransferElement(std::shared_ptr<DeviceBackend> backend, std::string deviceName, const RegisterInfo& info,
        std::size_t nElements, std::size_t offset);

    void decode() { decodeFrom(_raw); } ///< _raw -> user values
    /// Words of this register (as many as it has) -> user values.
    virtual void decodeFrom(std::span<const std::int32_t> raw) = 0;
    /// Words -> a second value buffer of the element, which becomes the user values (by exchange,
    /// without a copy) at commitStaged(): a group read decodes straight from the device's memory
    /// and still changes no register's value before every one of its transfers succeeded.
    virtual void decodeStaged(std::span<const std::int32_t> raw) = 0;
    virtual void commitStaged() = 0;
    virtual void encode() = 0; ///< user values -> _raw

    /// Records the saturation of a conversion for a write; `describe` gives the first saturated
    /// element's value and what the register holds, for the warning that starts an episode.
    void noteSaturation(const RegisterConverter::Saturation& saturation, const std::function<std::string()>& describe);

    /// Words of the last write, and of a read whose backend cannot be read in place.
    std::vector<std::int32_t> _raw;
    RegisterConverter _converter;

   private:
    friend class TransferGroup;

    void checkReadable() const;
    void checkWritable() const;
    std::string context(const char* action) const;

    std::shared_ptr<DeviceBackend> _backend;
    RegisterConverter::Saturation _saturation;
    std::string _deviceName;
    const RegisterInfo* _info; // owned by the backend's register map
    std::size_t _offset;
  };

} // namespace Corvane
