// Reading a whole text file: what kept a file from being read (tryRead), and read()'s refusal
// naming the kind of file and its path for each.
#include "TempDirectory.h"

#include <Corvane/Exception.h>
#include <Corvane/TextFile.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using Corvane::TextFile;
using Fault = Corvane::TextFile::Fault;
using configandlog::TempDirectory;

namespace {

  struct Case {
    std::string name;
    /// Makes the file at the given path; false when this machine offers no such file.
    std::function<bool(const std::filesystem::path&)> make;
    std::size_t limit;
    Fault fault;
    std::string content;
    std::string reason;
    std::string message; ///< what read() says after 'settings "<path>"'
  };

  bool link(const std::filesystem::path& target, const std::filesystem::path& file) {
    std::filesystem::create_symlink(target, file);
    return true;
  }

  bool write(const std::filesystem::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary) << content;
    return true;
  }

  /// A file that opening for reading refuses: without permissions, or for root (who may open
  /// anything of its own) a write-only attribute of the kernel.
  bool unopenable(const std::filesystem::path& file) {
    if(geteuid() != 0) {
      write(file, "x");
      std::filesystem::permissions(file, std::filesystem::perms::none);
      return true;
    }
    return std::filesystem::exists("/sys/bus/pci/rescan") && link("/sys/bus/pci/rescan", file);
  }

  const std::vector<Case> cases{
      {"a regular file", [](auto& f) { return write(f, "abc\n"); }, 4, Fault::none, "abc\n", "", ""},
      {"an empty file", [](auto& f) { return write(f, ""); }, 4, Fault::none, "", "", ""},
      {"missing", [](auto&) { return true; }, 4, Fault::missing, "", "", " does not exist"},
      {"a link leading nowhere", [](auto& f) { return link("nowhere", f); }, 4, Fault::missing, "", "",
          " does not exist"},
      {"a link to itself", [](auto& f) { return link(f.filename(), f); }, 4, Fault::unexaminable, "",
          "Too many levels of symbolic links", " cannot be examined: Too many levels of symbolic links"},
      {"a directory", [](auto& f) { return std::filesystem::create_directory(f); }, 4, Fault::directory, "", "",
          " is a directory"},
      {"a pipe", [](auto& f) { return mkfifo(f.c_str(), 0600) == 0; }, 4, Fault::notRegular, "", "",
          " is not a regular file (a device, pipe or socket cannot be a settings)"},
      {"a device", [](auto& f) { return link("/dev/zero", f); }, 4, Fault::notRegular, "", "",
          " is not a regular file (a device, pipe or socket cannot be a settings)"},
      {"beyond the limit", [](auto& f) { return write(f, "abcde"); }, 4, Fault::tooLarge, "", "",
          " is larger than 0 MiB (5 bytes)"},
      // a regular file that reports size 0 and gives more than the limit
      {"growing while read", [](auto& f) { return link("/proc/self/status", f); }, 64, Fault::grewTooLarge, "", "",
          " is larger than 0 MiB"},
      {"cannot be opened", unopenable, 1u << 20, Fault::cannotOpen, "", "Permission denied", " cannot be read"},
      // the kernel refuses to read address 0 of the process: an I/O error on a file that opened
      {"an I/O error while read", [](auto& f) { return link("/proc/self/mem", f); }, 4, Fault::readFailed, "",
          "Input/output error", " cannot be read"}};

} // namespace

TEST(TextFile, TryReadSaysWhatKeptTheFileFromBeingRead) {
  for(const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDirectory directory;
    auto file = directory.path() / "settings.json";
    if(!c.make(file)) {
      std::cout << "skipped, no such file here: " << c.name << "\n";
      continue;
    }
    auto reading = TextFile::tryRead(file, c.limit);
    EXPECT_EQ(reading.fault, c.fault);
    EXPECT_EQ(reading.content, c.content);
    EXPECT_EQ(reading.reason, c.reason);
    if(c.fault == Fault::tooLarge) {
      EXPECT_EQ(reading.size, 5u);
    }
  }
}

TEST(TextFile, ReadRefusesNamingTheKindAndThePath) {
  for(const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDirectory directory;
    auto file = (directory.path() / "settings.json").string();
    if(!c.make(file)) continue;
    if(c.fault == Fault::none) {
      EXPECT_EQ(TextFile::read(file, "settings", c.limit), c.content);
      continue;
    }
    try {
      (void)TextFile::read(file, "settings", c.limit);
      ADD_FAILURE() << "read";
    }
    catch(const Corvane::logic_error& e) {
      EXPECT_EQ(std::string(e.what()), "settings \"" + file + "\"" + c.message);
    }
  }
}
