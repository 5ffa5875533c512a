// Real hardware through memory-mapped files: a PCIe device's BAR resource files, a character
// device driver that supports mmap, or (for tests) a regular file.
//
// Descriptor: (mmap:PATH?map=FILE[&barN=OFFSET...]). Bars map to files by this convention:
// - with barN parameters, PATH is one file holding every bar, bar N at the byte offset
//   given by barN (decimal or 0x-hex); bar 0 defaults to offset 0, every other bar the map
//   uses needs its offset.
// - without them, PATH is either a directory (a PCI device in sysfs, e.g.
//   /sys/bus/pci/devices/0000:03:00.0) where bar N is the file PATH/resourceN from its start,
//   or a file that is bar 0 (allowed only when the map uses bar 0 alone). Which of the two is
//   decided at open(), so a device that appears later is found.
// Each bar is mapped over the extent its registers need. Words are transferred one 32-bit
// access at a time, as device memory requires. Interrupts are not delivered by this backend.
//
// readInPlace hands out a view of the mapping only for files that are plain memory: regular
// files outside sysfs (a board image on tmpfs or disk). A PCIe BAR (a sysfs resource file or
// a character device) is uncached device memory, which must be read word by word and is
// read fastest once into cached memory, so there it returns false and the caller copies with
// read(). The view is taken under the same shared lock as every transfer: it keeps the
// mapping alive, but, as for read(), does not keep other writers of the file out.
#pragma once

#include "Corvane/DeviceBackend.h"
#include "Corvane/FileDescriptor.h"
#include "Corvane/MemoryMapping.h"

#include <map>
#include <shared_mutex>
#include <string>

namespace Corvane {

  class MmapBackend : public DeviceBackend {
   public:
    /// Non-empty `barOffsets` make `path` one file holding all bars (see above).
    MmapBackend(std::string path, std::map<std::uint8_t, std::uint64_t> barOffsets,
        std::shared_ptr<const RegisterMap> registerMap);

    static std::shared_ptr<DeviceBackend> createInstance(
        const std::string& address, const std::map<std::string, std::string>& parameters);

    /// Maps every bar the register map uses; on an open backend it maps them afresh.
    void open() override;
    void close() override;
    bool isOpen() const override;
    void read(std::uint8_t bar, std::uint64_t address, std::int32_t* data, std::size_t nBytes) override;
    void write(std::uint8_t bar, std::uint64_t address, const std::int32_t* data, std::size_t nBytes) override;
    bool readInPlace(std::uint8_t bar, std::uint64_t address, std::size_t nBytes, const WordsUser& use) override;
    std::string readDeviceInfo() override;

   private:
    struct Bar {
      FileDescriptor file; // only set when the bar has its own file
      MemoryMapping mapping;
      bool plainMemory{false}; // may be read in place (see above)
    };

    volatile std::int32_t* barWords(std::uint8_t bar, std::uint64_t address, std::size_t nBytes);
    std::uint64_t offsetOf(std::uint8_t bar) const;
    FileDescriptor openFile(const std::string& fileName, std::uint64_t neededBytes) const;

    std::string _path;
    std::map<std::uint8_t, std::uint64_t> _barOffsets;
    std::map<std::uint8_t, std::uint64_t> _barSizes; // from the register map
    mutable std::shared_mutex _mutex; // exclusive for open/close, shared for transfers
    std::map<std::uint8_t, Bar> _bars;
    bool _isOpen{false};
  };

} // namespace Corvane
