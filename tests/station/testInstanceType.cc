// The station's instance types: which configured numbers name one, and which roles run their own controller.
// (How each module treats the numbers is shown with the whole application in testApplication.cc.)
#include "InstanceType.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

  TEST(InstanceType, OnlyTheThreeNamedNumbersConvert) {
    struct Case {
      std::int32_t number;
      std::optional<InstanceType> type;
    };
    const Case cases[] = {{1, InstanceType::master}, {2, InstanceType::slave}, {4, InstanceType::monitoringOnly},
        {0, std::nullopt}, {3, std::nullopt}, {5, std::nullopt}, {-1, std::nullopt}, {-2, std::nullopt},
        {std::numeric_limits<std::int32_t>::max(), std::nullopt},
        {std::numeric_limits<std::int32_t>::min(), std::nullopt}};
    for(auto& c : cases) EXPECT_EQ(instanceTypeOf(c.number), c.type) << c.number;
  }

  TEST(InstanceType, SlavesAndMonitoringOnlyInstancesRunNoControllerOfTheirOwn) {
    EXPECT_TRUE(runsOwnController(InstanceType::master));
    EXPECT_FALSE(runsOwnController(InstanceType::slave));
    EXPECT_FALSE(runsOwnController(InstanceType::monitoringOnly));
    EXPECT_TRUE(runsOwnController(std::nullopt)); // a number that names no type
  }

} // namespace
