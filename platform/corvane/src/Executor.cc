#include "Corvane/detail/Executor.h"

#include "Corvane/Utilities.h"
#include "Corvane/detail/TaskAlgorithm.h"
#include "Corvane/detail/TaskCondition.h"

#include <boost/fiber/fiber.hpp>
#include <boost/fiber/operations.hpp>
#include <boost/fiber/protected_fixedsize_stack.hpp>

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <map>

namespace Corvane::detail {

  void nameThread(const std::string& path) {
    std::string name;
    for(const auto& part : Utilities::splitPath(path)) {
      if(part != ".") name += "/" + part;
    }
    pthread_setname_np(pthread_self(), name.substr(name.size() > 15 ? name.size() - 15 : 0).c_str());
  }

  namespace {
    /// Keeps the calling thread on the `index`-th (modulo their count) of the processors in `allowed`.
    void pinCallingThread(const cpu_set_t& allowed, std::size_t index) {
      const auto count = std::size_t(CPU_COUNT(&allowed));
      if(count == 0) return;
      std::size_t seen = 0;
      for(int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if(!CPU_ISSET(cpu, &allowed) || seen++ != index % count) continue;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        pthread_setaffinity_np(pthread_self(), sizeof(one), &one);
        return;
      }
    }
  } // namespace

  std::size_t Executor::defaultWorkers() {
    // the processors this process may run on (a process restricted to some cores gets as many)
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if(sched_getaffinity(0, sizeof(allowed), &allowed) == 0 && CPU_COUNT(&allowed) > 0) {
      return std::size_t(CPU_COUNT(&allowed));
    }
    return std::max(1U, std::thread::hardware_concurrency());
  }

  Executor::Executor(Settings settings, StallReport stallReport)
  : _settings(settings), _stallReport(std::move(stallReport)) {
    if(_settings.workers == 0) _settings.workers = defaultWorkers();
  }

  Executor::~Executor() { join(); }

  void Executor::start(std::vector<Task> tasks) {
    // groups in order of first appearance, dealt to the workers in turn
    std::map<std::string, Worker*> workerOfGroup;
    std::vector<Worker*> workers;
    for(auto& task : tasks) {
      if(task.ownThread || !cooperativeTasks) {
        _ownThreadTasks.push_back(std::move(task));
        continue;
      }
      auto found = workerOfGroup.find(task.group);
      if(found == workerOfGroup.end()) {
        if(workers.size() < _settings.workers) workers.push_back(&_workers.emplace_back());
        found = workerOfGroup.emplace(task.group, workers[workerOfGroup.size() % _settings.workers]).first;
      }
      found->second->tasks.push_back(std::move(task));
    }
    if(_settings.pinWorkers && sched_getaffinity(0, sizeof(_processors), &_processors) == 0) {
      // with processors to spare the system spreads the workers better than a fixed choice would
      _pinned = _workers.size() >= std::size_t(CPU_COUNT(&_processors));
    }
    for(auto& worker : _workers) {
      worker.thread = std::thread([this, &worker] { runWorker(worker); });
    }
    for(auto& task : _ownThreadTasks) {
      _ownThreads.emplace_back([&task] {
        nameThread(task.name);
        task.body();
      });
    }
    if(!_workers.empty()) _watchdog = std::thread([this] { watch(); });
  }

  void Executor::runWorker(Worker& worker) {
    std::size_t number = 0;
    for(auto& other : _workers) {
      if(&other == &worker) break;
      ++number;
    }
    pthread_setname_np(pthread_self(), ("worker " + std::to_string(number)).c_str());
    if(_pinned) pinCallingThread(_processors, number);
    boost::fibers::use_scheduling_algorithm<TaskAlgorithm>(worker.status);
    std::vector<boost::fibers::fiber> fibers;
    fibers.reserve(worker.tasks.size());
    for(auto& task : worker.tasks) {
      auto& fiber = fibers.emplace_back(std::allocator_arg, boost::fibers::protected_fixedsize_stack(_settings.stackBytes),
          [&task] { task.body(); });
      // the new fiber waits in the ready queue until this one suspends in join()
      fiber.properties<TaskProperties>().taskName = &task.name;
    }
    for(auto& fiber : fibers) fiber.join();
  }

  void Executor::join() {
    auto joinOrLeave = [](std::thread& thread) {
      if(!thread.joinable()) return;
      if(thread.get_id() == std::this_thread::get_id()) thread.detach();
      else thread.join();
    };
    for(auto& worker : _workers) joinOrLeave(worker.thread);
    for(auto& thread : _ownThreads) joinOrLeave(thread);
    stopWatchdog();
  }

  void Executor::stopWatchdog() {
    {
      std::lock_guard lock(_watchdogMutex);
      _watchdogStop = true;
    }
    _watchdogWake.notify_all();
    if(_watchdog.joinable()) _watchdog.join();
  }

  void Executor::watch() {
    struct Seen {
      std::uint64_t switches{0};
      const std::string* task{nullptr};
      std::chrono::steady_clock::time_point since;
      bool reported{false};
    };
    std::vector<Seen> seen(_workers.size());
    auto interval = std::max(std::chrono::milliseconds(1), _settings.yieldLimit / 4);
    std::unique_lock lock(_watchdogMutex);
    while(!_watchdogWake.wait_for(lock, interval, [&] { return _watchdogStop; })) {
      auto now = std::chrono::steady_clock::now();
      std::size_t index = 0;
      for(auto& worker : _workers) {
        auto& last = seen[index++];
        auto switches = worker.status.switches.load(std::memory_order_relaxed);
        auto* task = worker.status.runningTask.load(std::memory_order_relaxed);
        if(switches != last.switches || task != last.task || !task) {
          last = Seen{switches, task, now, false};
          continue;
        }
        auto held = std::chrono::duration_cast<std::chrono::milliseconds>(now - last.since);
        if(!last.reported && held >= _settings.yieldLimit) {
          last.reported = true;
          lock.unlock();
          _stallReport(*task, held);
          lock.lock();
        }
      }
    }
  }

} // namespace Corvane::detail
