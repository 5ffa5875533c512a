// A dummy controller board that records, in order, what the server does to the registers of one
// double-buffered table and to the firmware table lock: "lock" and "unlock" (writes of the lock's "state"),
// "write I", "write Q", "read current I", "read current Q", "write select I", "write select Q". The lock's
// read-back shares the address of its request and each current buffer the address of its select, so the
// firmware confirms every lock change at the first poll and reports the buffer last selected.
// It keeps the watched table's I and Q as each write of Q left them.
// It can be told to fail the next write of the table's Q with a logic error (as a write outside the board's
// register space would), which the device layer passes on to the writing module instead of recovering.
// Registered as the device type "ctrlrecord" (parameter "map", like the plain dummy).
#pragma once

#include <Corvane/DummyBackend.h>
#include <Corvane/RegisterInfo.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace controllertest {

  class RecordingControllerBoard : public Corvane::DummyBackend {
   public:
    explicit RecordingControllerBoard(const std::string& mapFileName);

    static std::shared_ptr<Corvane::DeviceBackend> createInstance(
        const std::string& address, const std::map<std::string, std::string>& parameters);

    void read(std::uint8_t bar, std::uint64_t address, std::int32_t* data, std::size_t nBytes) override;
    void write(std::uint8_t bar, std::uint64_t address, const std::int32_t* data, std::size_t nBytes) override;

    /// Records the accesses to the table whose registers lie below `tablePath` (e.g.
    /// "ToControlSystem/Controller/FeedForward/RotationTable"), forgetting what was recorded.
    void watchTable(const std::string& tablePath);
    std::vector<std::string> accesses() const;
    /// The next write of the watched table's Q throws std::logic_error (once).
    void failNextQWrite();
    /// The watched table's I and Q words as each write of Q left them, i.e. the table that the next buffer
    /// switch would show (raw words: the digits themselves for a format without fractional bits).
    using Words = std::vector<std::int32_t>;
    std::vector<std::pair<Words, Words>> tablesWritten() const;

   protected:
    void regWriteEvents(std::uint8_t bar, std::uint64_t address, std::size_t nBytes) override;

   private:
    struct Watched {
      const Corvane::RegisterInfo* info;
      std::string readName;
      std::string writeName;
    };
    const Watched* find(std::uint8_t bar, std::uint64_t address, std::size_t nBytes) const;

    const Corvane::RegisterInfo* _state{nullptr};
    std::vector<Watched> _watched;
    const Corvane::RegisterInfo* _q{nullptr};
    bool _failQ{false};
    std::vector<std::string> _accesses;
    std::vector<std::pair<Words, Words>> _tablesWritten;
  };

} // namespace controllertest
