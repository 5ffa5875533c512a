// Descriptors the device layer keeps open are close-on-exec: no program the server starts
// inherits them.
#include "ProcessInspection.h"

#include <Corvane/ChildProcess.h>
#include <Corvane/FileDescriptor.h>
#include <Corvane/SharedMemorySegment.h>
#include <gtest/gtest.h>

#include <memory>

#include <unistd.h>

using CorvaneTest::inheritableSince;
using CorvaneTest::openDescriptors;

namespace {

  TEST(CloseOnExec, DescriptorsKeptOpenAreNotInherited) {
    struct Case {
      const char* what;
      std::function<std::shared_ptr<void>()> open; // keeps what it opened while the result lives
    };
    const Case cases[] = {
        {"shared memory segment",
            [] {
              return std::make_shared<Corvane::SharedMemorySegment>("/corvane-cloexec-" + std::to_string(::getpid()), 64);
            }},
        {"running child process", [] { return std::make_shared<Corvane::ChildProcess>("sleep 30"); }},
        {"descriptor marked by hand",
            [] {
              auto file = std::make_shared<Corvane::FileDescriptor>(::open("/dev/null", O_RDONLY));
              Corvane::markCloseOnExec(file->get());
              return file;
            }},
    };
    for(const auto& c : cases) {
      auto before = openDescriptors();
      auto opened = c.open();
      auto after = openDescriptors();
      EXPECT_GT(after.size(), before.size()) << c.what << " opened nothing";
      EXPECT_EQ(inheritableSince(before), std::vector<int>{}) << c.what;
    }
  }

} // namespace
