// A device module below a path of a register map that holds no register at all (an empty,
// truncated or comment-only file) is refused with a message naming the device, the map file and
// the path.
#include <Corvane/Corvane.h>
#include <Corvane/DeviceModule.h>
#include <Corvane/SetDMapFilePath.h>
#include <gtest/gtest.h>

#include <fstream>

using namespace Corvane;

namespace {

  std::string writeMaps() {
    std::ofstream("emptymap_empty.map");
    std::ofstream("emptymap_comments.map") << "# name n address bytes bar\n\n# nothing else\n";
    std::ofstream("emptymap_other.map") << "Other.value 1 0 4 0\n";
    std::ofstream("emptymap.dmap") << "Empty (dummy:e?map=emptymap_empty.map)\n"
                                   << "Comments (dummy:c?map=emptymap_comments.map)\n"
                                   << "Other (dummy:o?map=emptymap_other.map)\n";
    return "emptymap.dmap";
  }

  struct EmptyMapApp : Application {
    explicit EmptyMapApp(const std::string& alias) : Application("emptymap") {
      board = DeviceModule(this, alias, "", {}, "/Board");
    }
    SetDMapFilePath dmap{writeMaps()};
    DeviceModule board;
  };

} // namespace

TEST(DeviceModule, APathBelowAMapWithoutRegistersNamesDeviceMapAndPath) {
  for(std::string alias : {"Empty", "Comments", "Other"}) {
    SCOPED_TRACE(alias);
    try {
      EmptyMapApp app(alias);
      ADD_FAILURE() << "constructed";
    }
    catch(Corvane::logic_error& e) {
      std::string message = e.what();
      EXPECT_EQ(message.rfind("Device " + alias + " has no registers below '/Board' (register map /", 0), 0u) << message;
      EXPECT_NE(message.find("/emptymap_"), std::string::npos) << message;
    }
  }
}
