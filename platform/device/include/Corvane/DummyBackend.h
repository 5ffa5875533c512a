// A device held in memory, sized from its register map: the stand-in for boards in tests and
// in the simulated station, and the base of simulated boards.
//
// Descriptor: (dummy:ADDRESS?map=FILE). The address only tells devices apart; each distinct
// descriptor is its own register space, zero at start.
//
// Clients reach it through read/write, which take mutex() and, after a write, call
// regWriteEvents under it (a simulated board reacts there). readInPlace hands the client a
// view of the register space under mutex() (and lockStorage), instead of a copy; it is on
// only where read() is DummyBackend's own (see readsInPlace), so a subclass that intercepts
// read() still sees every client read. A simulated board's own code
// uses rawWords() and the DummyRegisterAccessors, which take no lock and raise no event
// (hold mutex() when other threads may be using the device). Test hooks let tests inject
// values, count client writes and make open, read or write fail like a faulty board.
//
// The register space is allocated whole, so its size is limited: a map whose bars together
// span more than maxRegisterSpaceBytes (64 MiB) is refused with a logic_error naming the map
// file and the register that ends last, instead of allocating gigabytes for one far address.
#pragma once

#include "Corvane/DeviceBackend.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <tuple>
#include <vector>

namespace Corvane {

  class DummyBackend : public DeviceBackend {
   public:
    /// Largest register space (all bars together) that a dummy device holds.
    static constexpr std::uint64_t maxRegisterSpaceBytes = std::uint64_t{64} << 20;

    explicit DummyBackend(const std::string& mapFileName);
    explicit DummyBackend(std::shared_ptr<const RegisterMap> registerMap);

    /// Creator for the factory: parameter "map" (see registerMapFile).
    static std::shared_ptr<DeviceBackend> createInstance(
        const std::string& address, const std::map<std::string, std::string>& parameters);

    void open() override;
    void close() override;
    bool isOpen() const override;
    void read(std::uint8_t bar, std::uint64_t address, std::int32_t* data, std::size_t nBytes) override;
    void write(std::uint8_t bar, std::uint64_t address, const std::int32_t* data, std::size_t nBytes) override;
    /// Merges under mutex() (one client write: counted, raises regWriteEvents).
    void writeBits(std::uint8_t bar, std::uint64_t address, const std::int32_t* data, std::size_t nBytes,
        std::uint32_t mask) override;
    bool readInPlace(std::uint8_t bar, std::uint64_t address, std::size_t nBytes, const WordsUser& use) override;
    std::string readDeviceInfo() override;

    /// Guards the register space against concurrent client access.
    std::mutex& mutex() const { return _mutex; }

    /// Words of the register space (no lock, no event, no fault). logic_error outside the space.
    std::int32_t* rawWords(std::uint8_t bar, std::uint64_t address, std::size_t nWords);

    // ---- test hooks ----

    /// While set, open() fails (the device stays closed), or reads or writes fail, with a
    /// Corvane::runtime_error, as a broken board would.
    void setOpenFails(bool fails);
    void setReadFails(bool fails);
    void setWriteFails(bool fails);

    /// Client writes since construction or the last reset: in all, and those touching a register.
    std::size_t getWriteCount() const;

    /// Changes of the register space from outside the board's own code since construction:
    /// client writes (write, writeBits) and setRegister, never reset. A simulated board that keeps
    /// register values between samples compares it to see whether to read them again. Its own
    /// accessors' writes do not count. Takes no lock: call under mutex().
    std::uint64_t getOutsideWriteGeneration() const { return _outsideWriteGeneration; }
    std::size_t getWriteCount(const std::string& registerPath) const;
    void resetWriteCounts();

    /// Fires an interrupt: runs its subscribed callbacks in this thread.
    void triggerInterrupt(std::uint32_t interruptNumber) { dispatchInterrupt(interruptNumber); }

    /// Sets values of a register as the board would (locks, raises no event, not counted).
    template<RawConversion::UserType T>
    void setRegister(const std::string& registerPath, const std::vector<T>& values, std::size_t offset = 0);

    /// Current values of a register (locks).
    template<RawConversion::UserType T>
    std::vector<T> getRegister(const std::string& registerPath);

   protected:
    /// For register spaces kept elsewhere: allocates nothing, the subclass calls setBarStorage.
    struct ExternalStorage {};
    DummyBackend(std::shared_ptr<const RegisterMap> registerMap, ExternalStorage);
    void setBarStorage(std::uint8_t bar, std::span<std::int32_t> words);

    /// Called under mutex() after every client write has been stored.
    virtual void regWriteEvents(std::uint8_t bar, std::uint64_t address, std::size_t nBytes);

    /// Bracket every copy into or out of the register space (a shared space locks here).
    virtual void lockStorage() {}
    virtual void unlockStorage() {}

    /// Whether readInPlace serves client reads. True only for a DummyBackend itself: a
    /// subclass overriding read() must see every read; one that does not may return true.
    virtual bool readsInPlace() const;

   private:
    class StorageGuard;

    std::span<std::int32_t> barWords(std::uint8_t bar, std::uint64_t address, std::size_t nBytes);
    /// The words a client read transfers, after its checks and simulated faults (under mutex()).
    std::span<const std::int32_t> clientReadWords(std::uint8_t bar, std::uint64_t address, std::size_t nBytes);
    /// A client write of `data` into the words, each merged by `merge` (under mutex()).
    template<class Merge>
    void clientWrite(std::uint8_t bar, std::uint64_t address, const std::int32_t* data, std::size_t nBytes,
        Merge merge);

    mutable std::mutex _mutex;
    std::map<std::uint8_t, std::vector<std::int32_t>> _ownedBars;
    std::map<std::uint8_t, std::span<std::int32_t>> _bars;
    bool _isOpen{false};
    bool _openFails{false};
    bool _readFails{false};
    bool _writeFails{false};
    std::size_t _writeCount{0};
    std::uint64_t _outsideWriteGeneration{0};
    std::map<std::tuple<std::uint8_t, std::uint64_t, std::size_t>, std::size_t> _writesByRange;
  };

  template<RawConversion::UserType T>
  void DummyBackend::setRegister(const std::string& registerPath, const std::vector<T>& values, std::size_t offset) {
    const auto& info = getRegisterMap().getRegister(registerPath);
    if(offset > info.nElements || values.size() > info.nElements - offset) {
      throw Corvane::logic_error("setRegister: " + std::to_string(values.size()) + " values at offset " +
          std::to_string(offset) + " do not fit register " + info.path + " of " + std::to_string(info.nElements));
    }
    std::vector<std::int32_t> raw(values.size());
    info.converter().toRaw<T>(std::span<const T>(values), std::span<std::int32_t>(raw));
    std::lock_guard lock(_mutex);
    auto words = rawWords(info.bar, info.address + 4 * offset, raw.size());
    lockStorage();
    for(std::size_t i = 0; i < raw.size(); ++i) words[i] = info.mergeInto(words[i], raw[i]);
    unlockStorage();
    ++_outsideWriteGeneration;
  }

  template<RawConversion::UserType T>
  std::vector<T> DummyBackend::getRegister(const std::string& registerPath) {
    const auto& info = getRegisterMap().getRegister(registerPath);
    std::vector<std::int32_t> raw(info.nElements);
    {
      std::lock_guard lock(_mutex);
      auto words = rawWords(info.bar, info.address, raw.size());
      lockStorage();
      std::copy(words, words + raw.size(), raw.begin());
      unlockStorage();
    }
    std::vector<T> values(raw.size());
    info.converter().toCooked<T>(std::span<const std::int32_t>(raw), std::span<T>(values));
    return values;
  }

} // namespace Corvane
