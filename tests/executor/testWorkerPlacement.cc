// Asked to, workers that fill the processors the process may use stay one per processor, worker k
// on the k-th of them; with processors to spare, or not asked to, the workers are left to the system.
#include <Corvane/detail/Executor.h>
#include <Corvane/detail/TaskCondition.h>
#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>

#include <mutex>
#include <set>
#include <string>
#include <vector>

using Corvane::detail::Executor;

// named, not anonymous: the test files of this executable are compiled together
namespace workerplacementtest {

  std::set<int> processorsOf(const cpu_set_t& set) {
    std::set<int> processors;
    for(int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
      if(CPU_ISSET(cpu, &set)) processors.insert(cpu);
    return processors;
  }

  std::set<int> processorsOfThisThread() {
    cpu_set_t set;
    CPU_ZERO(&set);
    pthread_getaffinity_np(pthread_self(), sizeof(set), &set);
    return processorsOf(set);
  }

  /// Keeps the calling thread (and the threads it starts) on the first `count` of its processors
  /// while it lives.
  class ProcessorRestriction {
   public:
    explicit ProcessorRestriction(std::size_t count) {
      pthread_getaffinity_np(pthread_self(), sizeof(_before), &_before);
      cpu_set_t chosen;
      CPU_ZERO(&chosen);
      for(int cpu : processorsOf(_before)) {
        if(_chosen.size() == count) break;
        CPU_SET(cpu, &chosen);
        _chosen.push_back(cpu);
      }
      pthread_setaffinity_np(pthread_self(), sizeof(chosen), &chosen);
    }
    ~ProcessorRestriction() { pthread_setaffinity_np(pthread_self(), sizeof(_before), &_before); }
    ProcessorRestriction(const ProcessorRestriction&) = delete;
    ProcessorRestriction& operator=(const ProcessorRestriction&) = delete;

    const std::vector<int>& chosen() const { return _chosen; }

   private:
    cpu_set_t _before;
    std::vector<int> _chosen;
  };

  /// Runs one task in each of `groups` execution groups on at most `workers` workers; returns the
  /// processors each task was allowed to run on.
  std::vector<std::set<int>> processorsOfTasks(std::size_t workers, std::size_t groups, bool pin) {
    Executor::Settings settings;
    settings.workers = workers;
    settings.pinWorkers = pin;
    Executor executor(settings, [](const std::string&, std::chrono::milliseconds) {});
    std::mutex mutex;
    std::vector<std::set<int>> seen(groups);
    std::vector<Executor::Task> tasks;
    for(std::size_t k = 0; k < groups; ++k) {
      tasks.push_back({"task" + std::to_string(k), "group" + std::to_string(k), false, [&mutex, &seen, k] {
                         auto processors = processorsOfThisThread();
                         std::lock_guard lock(mutex);
                         seen[k] = std::move(processors);
                       }});
    }
    executor.start(std::move(tasks));
    executor.join();
    return seen;
  }

} // namespace workerplacementtest

using namespace workerplacementtest;

TEST(WorkerPlacement, WorkersAskedToAndFillingTheProcessorsStayOnePerProcessorOthersAreLeftToTheSystem) {
  if(!Corvane::detail::cooperativeTasks) GTEST_SKIP() << "every task has its own thread in sanitizer builds";
  struct Case {
    std::size_t processors, workers, groups;
    bool asked, pinned;
  };
  for(const auto& c : {
          Case{2, 2, 4, true, true},   // group k on worker k mod 2, on processor k mod 2
          Case{2, 3, 3, true, true},   // the third worker shares the first processor
          Case{1, 2, 2, true, true},
          Case{2, 1, 3, true, false},  // a processor to spare
          Case{2, 4, 1, true, false},  // one group makes one worker only
          Case{2, 2, 4, false, false}, // not asked to
      }) {
    SCOPED_TRACE(std::to_string(c.processors) + " processors, " + std::to_string(c.workers) + " workers, " +
        std::to_string(c.groups) + " groups" + (c.asked ? ", asked to pin" : ""));
    ProcessorRestriction restriction(c.processors);
    if(restriction.chosen().size() < c.processors) GTEST_SKIP() << "fewer processors than the case needs";
    const std::set<int> all(restriction.chosen().begin(), restriction.chosen().end());
    const auto seen = processorsOfTasks(c.workers, c.groups, c.asked);
    for(std::size_t k = 0; k < c.groups; ++k) {
      SCOPED_TRACE("task " + std::to_string(k));
      if(c.pinned) {
        const int processor = restriction.chosen()[(k % c.workers) % c.processors];
        EXPECT_EQ(seen[k], std::set<int>{processor});
      }
      else {
        EXPECT_EQ(seen[k], all);
      }
    }
  }
}
