// The mmap backend on regular files: one file with bar offsets, a directory of resource
// files, the faults of a missing or short device, and which files are read in place.
#include "Corvane/Device.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

namespace {

  /// Writes a file of 32-bit words.
  void writeWords(const std::string& file, const std::vector<std::int32_t>& words) {
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(words.data()),
        static_cast<std::streamsize>(words.size() * 4));
  }

  std::vector<std::int32_t> readWords(const std::string& file, std::size_t offset, std::size_t n) {
    std::vector<std::int32_t> words(n);
    std::ifstream stream(file, std::ios::binary);
    stream.seekg(static_cast<std::streamoff>(offset));
    stream.read(reinterpret_cast<char*>(words.data()), static_cast<std::streamsize>(n * 4));
    return words;
  }

  class MmapBackendTest : public ::testing::Test {
   protected:
    CorvaneTest::TempDirectory dir;
    std::string oneBarMap = dir.write("one.map", "Version 1 0 4 0 32 0 0 RO\nTable 3 4 12 0 16 1 1 RW\n");
    std::string threeBarMap = dir.write("three.map", "A 1 0 4 0\nB 2 8 8 2 16 0 1\nC 1 4 4 3\n");
  };

  TEST_F(MmapBackendTest, AFileIsBarZero) {
    auto file = (dir.path() / "board.bin").string();
    writeWords(file, {0x01020400, 2, 3, 4});
    Corvane::Device device("(mmap:" + file + "?map=" + oneBarMap + ")");
    device.open();
    EXPECT_EQ(device.readScalar<std::uint32_t>("Version"), 0x01020400u);
    EXPECT_EQ(device.read<double>("Table"), (std::vector<double>{1.0, 1.5, 2.0}));
    device.write<double>("Table", {-0.5}, 2);
    EXPECT_EQ(readWords(file, 12, 1), std::vector<std::int32_t>{-1}); // the file itself changed
  }

  TEST_F(MmapBackendTest, BarsAtOffsetsOfOneFile) {
    auto file = (dir.path() / "device").string();
    std::vector<std::int32_t> words(0x1100 / 4, 0);
    words[0] = 11;                     // bar 0, A
    words[0x1000 / 4 + 2] = 22;        // bar 2 at 0x1000, B[0] at 8
    words[0x1014 / 4 + 1] = 33;        // bar 3 at 0x1014 (not page-aligned), C at 4
    writeWords(file, words);
    Corvane::Device device("(mmap:" + file + "?map=" + threeBarMap + "&bar2=0x1000&bar3=4116)");
    device.open();
    EXPECT_EQ(device.readScalar<int>("A"), 11);
    EXPECT_EQ(device.readScalar<int>("B"), 22);
    EXPECT_EQ(device.readScalar<int>("C"), 33);
    device.write<int>("B", {-5, 6});
    EXPECT_EQ(readWords(file, 0x1008, 2), (std::vector<std::int32_t>{-5, 6}));
  }

  TEST_F(MmapBackendTest, ADirectoryHoldsOneResourceFilePerBar) {
    auto device = dir.path() / "0000:03:00.0";
    std::filesystem::create_directories(device);
    writeWords((device / "resource0").string(), {1});
    writeWords((device / "resource2").string(), {0, 0, 2, 3});
    writeWords((device / "resource3").string(), {0, 4});
    Corvane::Device board("(mmap:" + device.string() + "?map=" + threeBarMap + ")");
    board.open();
    EXPECT_EQ(board.readScalar<int>("A"), 1);
    EXPECT_EQ(board.read<int>("B"), (std::vector<int>{2, 3}));
    EXPECT_EQ(board.readScalar<int>("C"), 4);
  }

  TEST_F(MmapBackendTest, AMissingOrShortDeviceFailsToOpenUntilItIsThere) {
    auto file = (dir.path() / "late.bin").string();
    Corvane::Device device("(mmap:" + file + "?map=" + oneBarMap + ")");
    EXPECT_THROW(device.open(), Corvane::runtime_error);
    EXPECT_FALSE(device.isOpened());
    EXPECT_THROW(device.readScalar<int>("Version"), Corvane::runtime_error);
    writeWords(file, {1, 2}); // 8 bytes, the map needs 16
    try {
      device.open();
      ADD_FAILURE() << "opened a short file";
    }
    catch(const Corvane::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
    }
    writeWords(file, {7, 0, 0, 0});
    device.open();
    EXPECT_EQ(device.readScalar<int>("Version"), 7);
    device.close();
    EXPECT_THROW(device.readScalar<int>("Version"), Corvane::runtime_error);
  }

  /// The words readInPlace hands out, or nothing when it declines.
  std::optional<std::vector<std::int32_t>> viewOf(
      Corvane::DeviceBackend& backend, std::uint8_t bar, std::uint64_t address, std::size_t nBytes) {
    std::vector<std::int32_t> seen;
    bool inPlace = backend.readInPlace(
        bar, address, nBytes, [&](std::span<const std::int32_t> words) { seen.assign(words.begin(), words.end()); });
    if(!inPlace) return std::nullopt;
    return seen;
  }

  TEST_F(MmapBackendTest, RegularFilesAreReadInPlace) {
    auto file = (dir.path() / "device").string();
    std::vector<std::int32_t> words(0x1100 / 4);
    for(std::size_t i = 0; i < words.size(); ++i) words[i] = static_cast<std::int32_t>(i * 3 + 1);
    writeWords(file, words);
    Corvane::Device device("(mmap:" + file + "?map=" + threeBarMap + "&bar2=0x1000&bar3=4116)");
    device.open();
    auto& backend = *device.getBackend();
    struct Case {
      std::uint8_t bar;
      std::uint64_t address;
      std::size_t nBytes;
    };
    for(auto c : {Case{0, 0, 4}, Case{2, 8, 8}, Case{2, 12, 4}, Case{3, 4, 4}, Case{2, 0, 0}}) {
      SCOPED_TRACE(std::to_string(c.bar) + "@" + std::to_string(c.address));
      std::vector<std::int32_t> copied(c.nBytes / 4);
      backend.read(c.bar, c.address, copied.data(), c.nBytes);
      EXPECT_EQ(viewOf(backend, c.bar, c.address, c.nBytes), copied);
    }
    EXPECT_THROW(viewOf(backend, 2, 16, 4), Corvane::logic_error); // bar 2 has 16 bytes
    device.close();
    EXPECT_THROW(viewOf(backend, 0, 0, 4), Corvane::runtime_error);
  }

  TEST_F(MmapBackendTest, DeviceMemoryIsCopiedNotReadInPlace) {
    // a character device stands for a driver's BAR: uncached memory, read word by word
    Corvane::Device board("(mmap:/dev/zero?map=" + oneBarMap + ")");
    board.open();
    EXPECT_EQ(viewOf(*board.getBackend(), 0, 4, 12), std::nullopt);
    EXPECT_EQ(board.read<int>("Table"), (std::vector<int>{0, 0, 0}));

    // a bar at an offset that is not word-aligned cannot be seen as words
    auto file = (dir.path() / "odd").string();
    writeWords(file, std::vector<std::int32_t>(0x1100 / 4, 0));
    Corvane::Device odd("(mmap:" + file + "?map=" + threeBarMap + "&bar2=0x1000&bar3=4114)");
    odd.open();
    EXPECT_EQ(viewOf(*odd.getBackend(), 3, 4, 4), std::nullopt);
    EXPECT_NE(viewOf(*odd.getBackend(), 2, 8, 8), std::nullopt);
  }

  TEST_F(MmapBackendTest, BarsNeedAPlaceToLive) {
    auto file = (dir.path() / "plain.bin").string();
    writeWords(file, std::vector<std::int32_t>(64, 0));
    // several bars but neither offsets nor a directory of resource files
    Corvane::Device plain("(mmap:" + file + "?map=" + threeBarMap + ")");
    EXPECT_THROW(plain.open(), Corvane::runtime_error);
    // offsets given, but not for every bar the map uses
    EXPECT_THROW(Corvane::Device("(mmap:" + file + "?map=" + threeBarMap + "&bar2=16)"), Corvane::logic_error);
    EXPECT_THROW(Corvane::Device("(mmap:" + file + "?map=" + oneBarMap + "&offset=16)"), Corvane::logic_error);
    EXPECT_THROW(Corvane::Device("(mmap:" + file + "?map=" + oneBarMap + "&bar1=sixteen)"), Corvane::logic_error);
    EXPECT_THROW(Corvane::Device("(mmap?map=" + oneBarMap + ")"), Corvane::logic_error);
  }

} // namespace
