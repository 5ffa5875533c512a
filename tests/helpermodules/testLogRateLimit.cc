// LogRateLimit: the first occurrence is due at once, later ones within the interval wait and are
// covered by the next line, which is due once the interval has passed even without new ones.
#include <Corvane/LogRateLimit.h>
#include <gtest/gtest.h>

#include <vector>

using namespace Corvane;
using namespace std::chrono_literals;

TEST(LogRateLimit, OneLinePerIntervalCoveringEveryOccurrence) {
  struct Step {
    SteadyClock::duration at;
    std::uint64_t occurrences; // noted before asking
    bool due;
    std::uint64_t covered; // when due
  };
  const std::vector<Step> steps{
      {0ms, 0, false, 0},    // nothing to report
      {10ms, 1, true, 1},    // the first line at once
      {20ms, 2, false, 0},   // held back
      {900ms, 1, false, 0},  // still within the second after the line
      {1010ms, 0, true, 3},  // the second has passed: the held-back ones, with no new occurrence
      {1500ms, 0, false, 0}, // nothing pending
      {3000ms, 5, true, 5},  // long after: at once again
  };
  LogRateLimit limit(1s);
  const SteadyClock::time_point start{};
  for(const auto& step : steps) {
    SCOPED_TRACE(std::chrono::duration_cast<std::chrono::milliseconds>(step.at).count());
    if(step.occurrences) limit.note(step.occurrences);
    std::uint64_t covered = 0;
    EXPECT_EQ(limit.due(start + step.at, covered), step.due);
    EXPECT_EQ(covered, step.due ? step.covered : 0u);
  }
}
