// The recorder's open file is close-on-exec: no program the server starts inherits it.
#include "../device/ProcessInspection.h"
#include "DaqTestSupport.h"

#include <gtest/gtest.h>

using namespace Corvane;
using namespace daqtest;

TEST(MicroDAQDescriptors, TheFileBeingWrittenIsNotInherited) {
  TempDirectory dir;
  auto before = CorvaneTest::openDescriptors();
  DaqApp app;
  TestFacility test(app);
  configure(test, dir.path(), 3, 2);
  test.runApplication();
  trigger(test, 1);
  ASSERT_EQ(dir.files(), (std::set<std::string>{"MicroDAQ_0.h5.tmp"}));
  EXPECT_EQ(CorvaneTest::inheritableSince(before), std::vector<int>{});
}
