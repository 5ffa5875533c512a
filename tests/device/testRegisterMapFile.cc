// The "map" parameter of the built-in backends: resolution against the device map's folder, and
// refusals that name the descriptor as written and the device map file it came from.
#include "Corvane/DMapFile.h"
#include "Corvane/DummyBackend.h"
#include "Corvane/MmapBackend.h"
#include "Corvane/RegisterMapFile.h"
#include "Corvane/SharedMemoryDummyBackend.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <functional>

using Corvane::DeviceDescriptor;
using Corvane::registerMapFile;

namespace {

  const std::string noMapText = "No map file name given in the device descriptor. ";

  class RegisterMapFileTest : public ::testing::Test {
   protected:
    CorvaneTest::TempDirectory dir;
    std::string map = dir.write("config/maps/board.map", "Value 1 0 4 0\n");
    std::string absentMap = (dir.path() / "config/maps/absent.map").string();
    std::string dmap = dir.write("config/station.dmap",
        "Board      (dummy:board?map=maps/board.map)\n"
        "NoMap      (dummy:nomap?note=x)\n"
        "Absent     (dummy:absent?map=maps/absent.map)\n"
        "ShmNoMap   (sharedMemoryDummy:shm?map=)\n"
        "ShmAbsent  (sharedMemoryDummy:shm?map=maps/absent.map)\n"
        "MmapNoMap  (mmap:/dev/null?bar0=0)\n"
        "MmapAbsent (mmap:/dev/null?map=maps/absent.map)\n");
    CorvaneTest::ScopedDMapFilePath scopedDMap{dmap};

    static std::string refusal(const std::function<void()>& create) {
      try {
        create();
      }
      catch(const Corvane::logic_error& e) {
        return e.what();
      }
      ADD_FAILURE() << "accepted";
      return {};
    }
  };

  TEST_F(RegisterMapFileTest, BackendsRefuseAMissingOrAbsentMapNamingDescriptorAndDeviceMap) {
    using Creator = std::shared_ptr<Corvane::DeviceBackend> (*)(
        const std::string&, const std::map<std::string, std::string>&);
    struct Case {
      const char* alias;
      Creator create;
      std::string messageStart;
    };
    const std::string absentText = "register map file \"" + absentMap + "\" does not exist. ";
    const Case cases[] = {
        {"NoMap", &Corvane::DummyBackend::createInstance, noMapText},
        {"Absent", &Corvane::DummyBackend::createInstance, absentText},
        {"ShmNoMap", &Corvane::SharedMemoryDummyBackend::createInstance, noMapText},
        {"ShmAbsent", &Corvane::SharedMemoryDummyBackend::createInstance, absentText},
        {"MmapNoMap", &Corvane::MmapBackend::createInstance, noMapText},
        {"MmapAbsent", &Corvane::MmapBackend::createInstance, absentText},
    };
    auto entries = Corvane::DMapFile::load(dmap);
    for(const auto& c : cases) {
      SCOPED_TRACE(c.alias);
      const auto& entry = entries.getEntry(c.alias);
      auto message = refusal([&] { c.create(entry.descriptor.address, entry.descriptor.parameters); });
      EXPECT_EQ(message, c.messageStart + "Device descriptor " + entry.text + " in device map file " + dmap + ":" +
              std::to_string(entry.line) + ".");
    }
  }

  TEST_F(RegisterMapFileTest, ADescriptorFromElsewhereIsNamedInItsCanonicalForm) {
    const std::string given = "(dummy:x?map=maps/absent.map&note=y)";
    EXPECT_EQ(refusal([&] { registerMapFile(DeviceDescriptor::parse(given)); }),
        "register map file \"" + absentMap + "\" does not exist. Device descriptor " +
            DeviceDescriptor::parse(given).str() + ", not listed in device map file " + dmap +
            " (relative map paths resolve against its folder).");
    CorvaneTest::ScopedDMapFilePath none("");
    EXPECT_EQ(refusal([&] { registerMapFile(DeviceDescriptor::parse("(dummy:x)")); }),
        noMapText + "Device descriptor (dummy:x), no device map file set.");
  }

  TEST_F(RegisterMapFileTest, RelativeMapPathsResolveAgainstTheDeviceMapFolder) {
    EXPECT_EQ(registerMapFile(DeviceDescriptor::parse("(dummy?map=maps/board.map)")), map);
    EXPECT_EQ(registerMapFile(DeviceDescriptor::parse("(dummy?map=" + map + ")")), map);
    // from the device map, the path is absolute already
    EXPECT_EQ(registerMapFile(Corvane::DMapFile::load(dmap).getEntry("Board").descriptor), map);
    auto board = Corvane::DummyBackend::createInstance("board", {{"map", "maps/board.map"}});
    EXPECT_EQ(board->getRegisterMap().fileName(), map);
  }

} // namespace
