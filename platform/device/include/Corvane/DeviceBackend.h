// A device as the register access sees it: bars of 32-bit words addressed by byte, a register
// map that names them, and interrupts.
//
// Backends are created by the BackendFactory and shared by everyone who names the same
// descriptor. They are thread-safe: reads and writes may come from any thread, also while
// another thread opens or closes the backend. Faults of the device (cannot open, transfer
// failed, not open) are Corvane::runtime_error, which the framework's recovery handles by
// closing and opening again; an address outside the device is a Corvane::logic_error.
#pragma once

#include "Corvane/InterruptDispatcher.h"
#include "Corvane/InterruptSubscription.h"
#include "Corvane/RegisterMap.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace Corvane {

  class DeviceBackend {
   public:
    virtual ~DeviceBackend() = default;
    DeviceBackend(const DeviceBackend&) = delete;
    DeviceBackend& operator=(const DeviceBackend&) = delete;

    /// Makes the device accessible. On an open backend it re-establishes access (the recovery
    /// calls it after a fault). Corvane::runtime_error when the device cannot be reached.
    virtual void open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    /// Transfers nBytes (a multiple of 4) at a word-aligned byte address of a bar.
    virtual void read(std::uint8_t bar, std::uint64_t address, std::int32_t* data, std::size_t nBytes) = 0;
    virtual void write(std::uint8_t bar, std::uint64_t address, const std::int32_t* data, std::size_t nBytes) = 0;

    /// Writes only the bits of `mask` in each word (a bit field; the other bits keep what the
    /// device holds): read-modify-write. The default reads, merges and writes while holding a
    /// lock of its own, so fields of one word written by several threads of this process all
    /// arrive; backends holding their words in memory merge under their own lock instead.
    virtual void writeBits(
        std::uint8_t bar, std::uint64_t address, const std::int32_t* data, std::size_t nBytes, std::uint32_t mask);

    /// Receives the words of an in-place read; the view is valid only during the call.
    using WordsUser = std::function<void(std::span<const std::int32_t>)>;

    /// Reads without a copy: calls `use` once with the device's own nBytes at `address` and
    /// returns true. Arguments and faults are checked as by read() and raised before `use` is
    /// called; what keeps the view consistent (a lock, see the backend) is held during the
    /// call, so `use` must be short and must not access this backend. An exception from `use`
    /// passes through. Backends that do not hold the words in plain memory return false
    /// without calling `use` (the default); the caller then copies them with read().
    virtual bool readInPlace(std::uint8_t bar, std::uint64_t address, std::size_t nBytes, const WordsUser& use);

    /// One line describing the device, for logs and diagnostics.
    virtual std::string readDeviceInfo() = 0;

    const RegisterMap& getRegisterMap() const { return *_registerMap; }
    std::shared_ptr<const RegisterMap> getRegisterMapPointer() const { return _registerMap; }

    /// Calls `callback` whenever the interrupt fires, in the thread that delivers it (keep it
    /// short). Subscribed while the returned handle lives.
    InterruptSubscription subscribeInterrupt(std::uint32_t interruptNumber, InterruptDispatcher::Callback callback);

   protected:
    explicit DeviceBackend(std::shared_ptr<const RegisterMap> registerMap);

    /// Runs the callbacks of an interrupt; called by backends when it fires.
    void dispatchInterrupt(std::uint32_t interruptNumber) { _interrupts->dispatch(interruptNumber); }

    /// Checks the arguments of a transfer against a bar of `barSize` bytes; logic_error otherwise.
    void checkTransfer(std::uint8_t bar, std::uint64_t address, std::size_t nBytes, std::uint64_t barSize) const;

   private:
    std::shared_ptr<const RegisterMap> _registerMap;
    std::shared_ptr<InterruptDispatcher> _interrupts{std::make_shared<InterruptDispatcher>()};
    std::mutex _readModifyWriteMutex;
  };

} // namespace Corvane
