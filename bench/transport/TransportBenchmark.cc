// Transport benchmark: values travel around a ring of a source and a chain of 4 modules, for
// scalars and for 16384-float arrays, once through the framework and once through a bare
// baseline (the same threads passing values through plain mutex + condition-variable queues).
//
// Two modes: "latency" keeps one value in flight (per-update round trip through the chain);
// "throughput" keeps three in flight (the framework's queue length, so nothing is dropped).
// For arrays it also prints the bytes of array data copied per update: writes are destructive
// and each variable has one module consumer, so the framework hands buffers on without copies
// (with control-system publishing switched off; with it on, the control system's copy shows).
#include <Corvane/Corvane.h>
#include <Corvane/detail/Scheduler.h>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

using namespace Corvane;
using Clock = std::chrono::steady_clock;

namespace {

  constexpr int nStages = 4;
  constexpr std::size_t arrayLength = 16384;

  struct Result {
    double seconds{0};
    long updates{0};
    double bytesPerUpdate{0};
  };

  // ----------------------------------------------------------------- framework ring

  template<class T, bool isArray>
  struct Accessors {
    using In = std::conditional_t<isArray, ArrayPushInput<T>, ScalarPushInput<T>>;
    using Out = std::conditional_t<isArray, ArrayOutput<T>, ScalarOutput<T>>;
    static In makeIn(Module* owner, const std::string& name) {
      if constexpr(isArray) return In(owner, name, "", arrayLength, "");
      else return In(owner, name, "", "");
    }
    static Out makeOut(Module* owner, const std::string& name) {
      if constexpr(isArray) return Out(owner, name, "", arrayLength, "");
      else return Out(owner, name, "", "");
    }
  };

  template<class T, bool isArray>
  struct Stage : ApplicationModule {
    using A = Accessors<T, isArray>;
    Stage() = default;
    Stage(Module* owner, int index) : ApplicationModule(owner, "Stage" + std::to_string(index), "") {
      in = A::makeIn(this, "/c" + std::to_string(index));
      out = A::makeOut(this, "/c" + std::to_string(index + 1));
    }
    typename A::In in;
    typename A::Out out;
    void mainLoop() override {
      std::vector<T> spare(isArray ? arrayLength : 1);
      while(true) {
        if constexpr(isArray) {
          in.swap(spare);
          out.swap(spare);
        }
        else {
          out = static_cast<T>(in);
        }
        out.writeDestructively();
        in.read();
      }
    }
  };

  template<class T, bool isArray>
  struct Source : ApplicationModule {
    using A = Accessors<T, isArray>;
    Source(Module* owner, long updates_, int inFlight_)
    : ApplicationModule(owner, "Source", ""), updates(updates_), inFlight(inFlight_) {}
    typename A::Out out{A::makeOut(this, "/c0")};
    typename A::In back{A::makeIn(this, "/c" + std::to_string(nStages))};
    std::promise<void> finished;
    long updates;
    int inFlight;
    Result result;
    void prepare() override { out.write(); }
    void mainLoop() override {
      auto start = Clock::now();
      auto bytesBefore = detail::bytesCopied().load();
      long sent = 0, received = 0;
      while(received < updates) {
        while(sent < updates && sent - received < inFlight) {
          if constexpr(isArray) out[0] = static_cast<T>(sent);
          else out = static_cast<T>(sent);
          out.writeDestructively();
          ++sent;
        }
        back.read();
        ++received;
      }
      result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
      result.updates = updates;
      result.bytesPerUpdate = double(detail::bytesCopied().load() - bytesBefore) / double(updates);
      finished.set_value();
    }
  };

  template<class T, bool isArray>
  struct RingApp : Application {
    RingApp(long updates, int inFlight, bool publish) : Application("transport"), source(this, updates, inFlight) {
      setControlSystemPublishing(publish);
      for(int i = 0; i < nStages; ++i) stages[i] = Stage<T, isArray>(this, i);
    }
    Source<T, isArray> source;
    Stage<T, isArray> stages[nStages];
  };

  template<class T, bool isArray>
  Result runFramework(long updates, int inFlight, bool publish) {
    RingApp<T, isArray> app(updates, inFlight, publish);
    auto finished = app.source.finished.get_future();
    app.run();
    finished.wait();
    app.shutdown();
    return app.source.result;
  }

  // ----------------------------------------------------------------- bare baseline

  template<class V>
  class Queue {
   public:
    void push(V value) {
      {
        std::lock_guard lock(_mutex);
        _items.push_back(std::move(value));
      }
      _cv.notify_one();
    }
    V pop() {
      std::unique_lock lock(_mutex);
      _cv.wait(lock, [&] { return !_items.empty(); });
      V value = std::move(_items.front());
      _items.pop_front();
      return value;
    }

   private:
    std::mutex _mutex;
    std::condition_variable _cv;
    std::deque<V> _items;
  };

  template<class T, bool isArray>
  Result runBaseline(long updates, int inFlight) {
    using V = std::conditional_t<isArray, std::vector<T>, T>;
    Queue<V> queues[nStages + 1];
    std::vector<std::thread> threads;
    for(int i = 0; i < nStages; ++i) {
      threads.emplace_back([&, i] {
        for(long k = 0; k < updates; ++k) queues[i + 1].push(queues[i].pop());
      });
    }
    auto start = Clock::now();
    long sent = 0, received = 0;
    std::vector<V> pool;
    for(int i = 0; i < inFlight; ++i) {
      if constexpr(isArray) pool.emplace_back(arrayLength);
      else pool.emplace_back();
    }
    while(received < updates) {
      while(sent < updates && sent - received < inFlight) {
        V value = std::move(pool.back());
        pool.pop_back();
        if constexpr(isArray) value[0] = static_cast<T>(sent);
        else value = static_cast<T>(sent);
        queues[0].push(std::move(value));
        ++sent;
      }
      pool.push_back(queues[nStages].pop());
      ++received;
    }
    Result result;
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.updates = updates;
    for(auto& t : threads) t.join();
    return result;
  }

  void print(const char* what, const char* mode, const Result& framework, const Result& baseline, bool bytes) {
    double fRate = framework.updates / framework.seconds, bRate = baseline.updates / baseline.seconds;
    std::printf("%-34s %-10s %12.0f %12.0f %10.2f %10.2f %8.2fx", what, mode, fRate, bRate,
        1e6 * framework.seconds / framework.updates, 1e6 * baseline.seconds / baseline.updates, bRate / fRate);
    if(bytes) std::printf("  %10.0f", framework.bytesPerUpdate);
    std::printf("\n");
  }

  template<class T, bool isArray>
  void compare(const char* what, long updates, bool publish) {
    for(int inFlight : {1, 3}) {
      auto framework = runFramework<T, isArray>(updates, inFlight, publish);
      auto baseline = runBaseline<T, isArray>(updates, inFlight);
      print(what, inFlight == 1 ? "latency" : "throughput", framework, baseline, isArray);
    }
  }

} // namespace

int main(int argc, char** argv) {
  long updates = argc > 1 ? std::atol(argv[1]) : 100000;
  Logger::instance().setMinimumSeverity(Logger::Severity::warning);
  std::printf("Ring of a source and %d modules, %ld updates per run\n", nStages, updates);
  std::printf("%-34s %-10s %12s %12s %10s %10s %9s  %10s\n", "variable", "mode", "fw upd/s", "bare upd/s",
      "fw us/upd", "bare us", "ratio", "fw B copied/upd");
  compare<double, false>("scalar double", updates, false);
  compare<double, false>("scalar double, control system on", updates, true);
  compare<float, true>("float[16384]", updates, false);
  compare<float, true>("float[16384], control system on", updates / 10, true);
  return 0;
}
