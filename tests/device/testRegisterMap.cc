// Register map syntax, defaults, errors with file:line, and the catalogue's lookups.
#include "Corvane/RegisterMap.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <sstream>

#include <sys/stat.h>

using Corvane::RegisterInfo;
using Corvane::RegisterMap;

namespace {

  RegisterMap parseMap(const std::string& text) {
    std::istringstream stream(text);
    return RegisterMap::parse(stream, "board.map");
  }

  const char* boardMap = R"(# controller board
BSP.WORD_VERSION            1      0x0     4   0                     # all defaults
Controller.Status.controllerStatus 1 0x4  4   0   32  0    0   RO
/Controller/FeedForward/I   16     0x100   64  2   18  17   1   WO
APP.DAQ0_BUF0               3x4    0x0     48  13  18  16   1   RO
/ToControlSystem/Daq/channel1 4    0x10    16  13  18  16   1   RO   # channel 1 of the area above
KXF5QN2.WORD_ATT_VAL        1      0x8     4   0   32  IEEE754 1 RW
Timing/trigger              0      0x0     0   0   0   0    0   INTERRUPT:3
BBF.LIMIT_RESET             1      0xC     4   0   0   0    0   WO
Scaled                      1      0x10    4   0   8   -2   0
)";

  TEST(RegisterMap, ParsesEveryField) {
    auto map = parseMap(boardMap);
    using A = RegisterInfo::Access;
    using E = RegisterInfo::Encoding;
    struct Expected {
      const char* path;
      std::size_t nElements, nChannels, nSamples;
      std::uint64_t address, nBytes;
      unsigned bar, width;
      int fracBits;
      bool isSigned;
      E encoding;
      A access;
      std::uint32_t interrupt;
      std::size_t line;
    };
    const Expected expected[] = {
        {"/BSP/WORD_VERSION", 1, 1, 1, 0, 4, 0, 32, 0, true, E::fixedPoint, A::readWrite, 0, 2},
        {"/Controller/Status/controllerStatus", 1, 1, 1, 4, 4, 0, 32, 0, false, E::fixedPoint, A::readOnly, 0, 3},
        {"/Controller/FeedForward/I", 16, 1, 16, 0x100, 64, 2, 18, 17, true, E::fixedPoint, A::writeOnly, 0, 4},
        {"/APP/DAQ0_BUF0", 12, 3, 4, 0, 48, 13, 18, 16, true, E::fixedPoint, A::readOnly, 0, 5},
        {"/ToControlSystem/Daq/channel1", 4, 1, 4, 0x10, 16, 13, 18, 16, true, E::fixedPoint, A::readOnly, 0, 6},
        {"/KXF5QN2/WORD_ATT_VAL", 1, 1, 1, 8, 4, 0, 32, 0, true, E::ieee754, A::readWrite, 0, 7},
        {"/Timing/trigger", 0, 1, 0, 0, 0, 0, 0, 0, false, E::none, A::interrupt, 3, 8},
        {"/BBF/LIMIT_RESET", 1, 1, 1, 0xC, 4, 0, 0, 0, false, E::none, A::writeOnly, 0, 9},
        {"/Scaled", 1, 1, 1, 0x10, 4, 0, 8, -2, false, E::fixedPoint, A::readWrite, 0, 10},
    };
    ASSERT_EQ(map.registers().size(), std::size(expected));
    for(std::size_t i = 0; i < std::size(expected); ++i) {
      const auto& e = expected[i];
      const auto& r = map.registers()[i];
      SCOPED_TRACE(e.path);
      EXPECT_EQ(r.path, e.path);
      EXPECT_EQ(r.nElements, e.nElements);
      EXPECT_EQ(r.nChannels, e.nChannels);
      EXPECT_EQ(r.nSamples, e.nSamples);
      EXPECT_EQ(r.address, e.address);
      EXPECT_EQ(r.nBytes, e.nBytes);
      EXPECT_EQ(r.bar, e.bar);
      EXPECT_EQ(r.width, e.width);
      EXPECT_EQ(r.fracBits, e.fracBits);
      EXPECT_EQ(r.isSigned, e.isSigned);
      EXPECT_EQ(r.encoding, e.encoding);
      EXPECT_EQ(r.access, e.access);
      EXPECT_EQ(r.interruptNumber, e.interrupt);
      EXPECT_EQ(r.location(), "board.map:" + std::to_string(e.line));
    }
  }

  TEST(RegisterMap, LooksUpEverySpellingOfAPath) {
    auto map = parseMap(boardMap);
    for(const char* spelling : {"Controller.Status.controllerStatus", "/Controller/Status/controllerStatus",
            "Controller/Status.controllerStatus", ".Controller.Status.controllerStatus"}) {
      SCOPED_TRACE(spelling);
      EXPECT_TRUE(map.hasRegister(spelling));
      EXPECT_EQ(map.getRegister(spelling).address, 4u);
    }
    EXPECT_FALSE(map.hasRegister("Controller.Status"));
    EXPECT_FALSE(map.hasRegister("Controller..Status.controllerStatus"));
    try {
      map.getRegister("/Controller/Status/missing");
      ADD_FAILURE() << "unknown register found";
    }
    catch(const Corvane::logic_error& e) {
      std::string message = e.what();
      EXPECT_NE(message.find("/Controller/Status/missing"), std::string::npos) << message;
      EXPECT_NE(message.find("board.map"), std::string::npos) << message;
    }
  }

  TEST(RegisterMap, ListsSubTreesByWholeComponents) {
    auto map = parseMap("Adc.a 1 0 4 0\nAdc.b.c 1 4 4 0\nAdc2.d 1 8 4 0\nAdcX 1 12 4 0\n");
    auto paths = [&](const std::string& directory) {
      std::vector<std::string> result;
      for(const auto* info : map.registersBelow(directory)) result.push_back(info->path);
      return result;
    };
    EXPECT_EQ(paths("/Adc"), (std::vector<std::string>{"/Adc/a", "/Adc/b/c"}));
    EXPECT_EQ(paths("Adc.b"), (std::vector<std::string>{"/Adc/b/c"}));
    EXPECT_EQ(paths("/"), (std::vector<std::string>{"/Adc/a", "/Adc/b/c", "/Adc2/d", "/AdcX"}));
    EXPECT_TRUE(paths("/Adc/a").empty()); // a register is no directory
    EXPECT_TRUE(paths("/Nothing").empty());
    EXPECT_THROW(map.registersBelow("a..b"), Corvane::logic_error);
  }

  TEST(RegisterMap, BarSizesCoverTheLastRegisterOfEachBar) {
    auto map = parseMap(boardMap);
    auto sizes = map.barSizes();
    EXPECT_EQ(sizes.at(0), 0x14u);
    EXPECT_EQ(sizes.at(2), 0x140u);
    EXPECT_EQ(sizes.at(13), 48u);
  }

  TEST(RegisterMap, ErrorsNameFileAndLine) {
    struct Case {
      const char* line;
      const char* says;
    };
    const Case cases[] = {
        {"A 1 0", "found 3 fields"},
        {"A 1 0 4 0 32 0 1 RW extra", "found 10 fields"},
        {"A..B 1 0 4 0", "invalid register name"},
        {"A$ 1 0 4 0", "invalid register name"},
        {"/ 1 0 4 0", "invalid register name"},
        {"A one 0 4 0", "nElements"},
        {"A 2x0 0 0 0", "2-D size"},
        {"A x4 0 16 0", "2-D size"},
        {"A 1 0x 4 0", "address"},
        {"A 1 2 4 0", "multiple of 4"},
        {"A 2 0 4 0", "nBytes 4 does not match 2 elements"},
        {"A 1 0 4 256", "bar 256"},
        {"A 1 0 4 0 33", "width 33"},
        {"A 1 0 4 0 16 IEEE754", "IEEE754 register needs width 32"},
        {"A 1 0 4 0 0 IEEE754", "IEEE754 register needs width 32"},
        {"A 1 0 4 0 32 257", "fracBits 257"},
        {"A 1 0 4 0 32 1.5", "fracBits"},
        {"A 1 0 4 0 32 0 2", "signed flag"},
        {"A 1 0 4 0 32 0 1 RWX", "access"},
        {"A 1 0 4 0 32 0 1 INTERRUPT:x", "interrupt number"},
        {"A 0 0 0 0 32 0 1 RW", "0 elements"},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(c.line);
      try {
        parseMap(std::string("# header\n\nGood 1 0 4 0\n") + c.line + "\n");
        ADD_FAILURE() << "accepted";
      }
      catch(const Corvane::logic_error& e) {
        std::string message = e.what();
        EXPECT_EQ(message.rfind("board.map:4: ", 0), 0u) << message;
        EXPECT_NE(message.find(c.says), std::string::npos) << message;
      }
    }
  }

  TEST(RegisterMap, DuplicateNamesAreErrorsWhateverTheSpelling) {
    try {
      parseMap("A.B 1 0 4 0\n# comment\n/A/B 1 4 4 0\n");
      ADD_FAILURE() << "accepted";
    }
    catch(const Corvane::logic_error& e) {
      std::string message = e.what();
      EXPECT_NE(message.find("board.map:3"), std::string::npos) << message;
      EXPECT_NE(message.find("line 1"), std::string::npos) << message;
    }
  }

  TEST(RegisterMap, ARegisterCannotBeADirectory) {
    for(const char* text : {"A.B 1 0 4 0\nA 1 4 4 0\n", "A 1 4 4 0\nA.B.C 1 0 4 0\n"}) {
      SCOPED_TRACE(text);
      try {
        parseMap(text);
        ADD_FAILURE() << "accepted";
      }
      catch(const Corvane::logic_error& e) {
        std::string message = e.what();
        EXPECT_NE(message.find("lies below the register /A (line"), std::string::npos) << message;
      }
    }
    EXPECT_NO_THROW(parseMap("A.B 1 0 4 0\nAB 1 4 4 0\nA.C 1 8 4 0\n"));
  }

  TEST(RegisterMap, LoadNamesAMissingFile) {
    CorvaneTest::TempDirectory dir;
    auto missing = (dir.path() / "none.map").string();
    try {
      RegisterMap::load(missing);
      ADD_FAILURE() << "loaded";
    }
    catch(const Corvane::logic_error& e) {
      EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
    }
    auto file = dir.write("ok.map", "X 1 0 4 0\n");
    EXPECT_EQ(RegisterMap::load(file).getRegister("X").location(), file + ":1");
  }

  // A device, pipe or directory given as map would read without end, block or fail obscurely.
  TEST(RegisterMap, OnlyRegularFilesAreMapsAndDeviceMaps) {
    CorvaneTest::TempDirectory dir;
    auto pipe = dir.path() / "pipe.map";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    struct Case {
      std::string path, fragment;
    };
    const Case cases[] = {{"/dev/zero", "is not a regular file"}, {pipe.string(), "is not a regular file"},
        {dir.path().string(), "is a directory"}};
    for(auto& c : cases) {
      for(auto kind : {"register map file", "device map file"}) {
        try {
          if(kind == std::string("register map file")) RegisterMap::load(c.path);
          else Corvane::DMapFile::load(c.path);
          ADD_FAILURE() << "loaded " << c.path;
        }
        catch(const Corvane::logic_error& e) {
          const auto expected = std::string(kind) + " \"" + c.path + "\" " + c.fragment;
          EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
        }
      }
    }
  }

#ifdef CORVANE_DEVICE_HAS_FRAMEWORK_TYPES
  TEST(RegisterMap, NaturalTypeHoldsEveryValue) {
    auto map = parseMap(boardMap);
    using Corvane::DataType;
    EXPECT_EQ(map.getRegister("BSP.WORD_VERSION").naturalType(), DataType::int32);
    EXPECT_EQ(map.getRegister("Controller.Status.controllerStatus").naturalType(), DataType::uint32);
    EXPECT_EQ(map.getRegister("Controller.FeedForward.I").naturalType(), DataType::float64);
    EXPECT_EQ(map.getRegister("KXF5QN2.WORD_ATT_VAL").naturalType(), DataType::float32);
    EXPECT_EQ(map.getRegister("Timing.trigger").naturalType(), DataType::nodata);
    EXPECT_EQ(map.getRegister("Scaled").naturalType(), DataType::uint32); // 8 bits scaled by 4
    EXPECT_EQ(parseMap("W 1 0 4 0 32 -1 0").getRegister("W").naturalType(), DataType::uint64);
  }
#endif

} // namespace
