// Device descriptors and device map files: syntax, canonical form, map paths, errors.
#include "Corvane/DMapFile.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <sstream>

using Corvane::DeviceDescriptor;
using Corvane::DMapFile;

namespace {

  TEST(DeviceDescriptor, Parses) {
    struct Case {
      const char* text;
      const char* type;
      const char* address;
      std::map<std::string, std::string> parameters;
    };
    const Case cases[] = {
        {"(dummy?map=board.map)", "dummy", "", {{"map", "board.map"}}},
        {"(dummy)", "dummy", "", {}},
        {"  (sharedMemoryDummy:ctrl?map=a.map&x=1)  ", "sharedMemoryDummy", "ctrl", {{"map", "a.map"}, {"x", "1"}}},
        {"(mmap:/sys/bus/pci/devices/0000:03:00.0?map=/abs/adc.map)", "mmap", "/sys/bus/pci/devices/0000:03:00.0",
            {{"map", "/abs/adc.map"}}},
        {"(mmap:/dev/board?map=m.map&bar2=0x1000&empty=)", "mmap", "/dev/board",
            {{"map", "m.map"}, {"bar2", "0x1000"}, {"empty", ""}}},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(c.text);
      auto d = DeviceDescriptor::parse(c.text);
      EXPECT_EQ(d.type, c.type);
      EXPECT_EQ(d.address, c.address);
      EXPECT_EQ(d.parameters, c.parameters);
      EXPECT_EQ(DeviceDescriptor::parse(d.str()), d); // the canonical form reads back
    }
  }

  TEST(DeviceDescriptor, CanonicalFormIgnoresParameterOrder) {
    EXPECT_EQ(DeviceDescriptor::parse("(t:a?x=1&map=m)").str(), DeviceDescriptor::parse("(t:a?map=m&x=1)").str());
    EXPECT_NE(DeviceDescriptor::parse("(t:a?map=m)").str(), DeviceDescriptor::parse("(t:b?map=m)").str());
    EXPECT_NE(DeviceDescriptor::parse("(t:a?map=m)").str(), DeviceDescriptor::parse("(t:a?map=n)").str());
  }

  TEST(DeviceDescriptor, RejectsMalformedText) {
    for(const char* bad : {"dummy?map=a", "(dummy?map=a", "(?map=a)", "(du-mmy?map=a)", "(dummy?map)",
            "(dummy?map=a&map=b)", "(dummy?=a)", "(dummy?map=a&)", "(dummy?map=a=b)", "(dummy:a=b)", "(a)b)"}) {
      SCOPED_TRACE(bad);
      EXPECT_THROW(DeviceDescriptor::parse(bad), Corvane::logic_error);
    }
  }

  TEST(DMapFile, ResolvesMapPathsAgainstItsOwnDirectory) {
    CorvaneTest::TempDirectory dir;
    auto file = dir.write("config/station.dmap",
        "# devices of the station\n"
        "\n"
        "Controller (dummy?map=maps/controller.map)   # relative\n"
        "  Adc0\t(dummy:adc0?map=/opt/maps/adc.map)\n"
        "Extra-1.x (dummy)\n");
    auto dmap = DMapFile::load(file);
    ASSERT_EQ(dmap.entries().size(), 3u);
    EXPECT_EQ(dmap.getEntry("Controller").descriptor.parameter("map"), (dir.path() / "config/maps/controller.map").string());
    EXPECT_EQ(dmap.getEntry("Controller").location(), file + ":3");
    EXPECT_EQ(dmap.getEntry("Controller").text, "(dummy?map=maps/controller.map)");
    EXPECT_EQ(dmap.getEntry("Adc0").text, "(dummy:adc0?map=/opt/maps/adc.map)");
    EXPECT_EQ(dmap.findEntry(DeviceDescriptor::parse("(dummy:adc0?map=/opt/maps/adc.map)")), &dmap.getEntry("Adc0"));
    // entries hold the resolved map path, so the descriptor as written is not theirs
    EXPECT_EQ(dmap.findEntry(DeviceDescriptor::parse("(dummy?map=maps/controller.map)")), nullptr);
    EXPECT_EQ(dmap.getEntry("Adc0").descriptor.parameter("map"), "/opt/maps/adc.map");
    EXPECT_EQ(dmap.getEntry("Adc0").descriptor.address, "adc0");
    EXPECT_TRUE(dmap.hasAlias("Extra-1.x"));
    try {
      dmap.getEntry("Adc1");
      ADD_FAILURE() << "unknown alias found";
    }
    catch(const Corvane::logic_error& e) {
      std::string message = e.what();
      EXPECT_NE(message.find("Adc1"), std::string::npos) << message;
      EXPECT_NE(message.find(file), std::string::npos) << message;
    }
  }

  TEST(DMapFile, ErrorsNameFileAndLine) {
    struct Case {
      const char* line;
      const char* says;
    };
    const Case cases[] = {
        {"Lonely", "no device descriptor"},
        {"Spaced \t \r", "no device descriptor"},
        {"Bad/alias (dummy?map=a)", "invalid alias"},
        {"Board dummy?map=a", "must be written"},
        {"Board (dummy?map=a&map=b)", "given twice"},
        {"First (dummy?map=other)", "already defined on line 2"},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(c.line);
      std::istringstream text(std::string("# devices\nFirst (dummy?map=a)\n") + c.line + "\n");
      try {
        DMapFile::parse(text, "station.dmap", "/base");
        ADD_FAILURE() << "accepted";
      }
      catch(const Corvane::logic_error& e) {
        std::string message = e.what();
        EXPECT_EQ(message.rfind("station.dmap:3: ", 0), 0u) << message;
        EXPECT_NE(message.find(c.says), std::string::npos) << message;
      }
    }
  }

} // namespace
