#include "Corvane/Logger.h"

#include "Corvane/Exception.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace Corvane {

  namespace {

    constexpr std::size_t defaultQueueCapacity = 4096;
    // How long a direct write after shutdown waits for a sink another thread is still stuck in.
    constexpr auto directWriteWaitLimit = std::chrono::seconds(1);

    Logger::Message droppedNotice(std::size_t count) {
      return {std::chrono::system_clock::now(), Logger::Severity::warning, "Logger",
          std::to_string(count) + " log messages dropped"};
    }

    void deliver(const Logger::Sink& sink, const Logger::Message& message) {
      auto formatted = Logger::format(message);
      try {
        if(sink) {
          sink(formatted, message);
          return;
        }
      }
      catch(...) {
        // A failing sink must not cost the message: fall through to standard output.
      }
      Logger::writeToStdout(formatted, message);
    }

  } // namespace

  struct Logger::State {
    State() : thread([this] { run(); }), threadId(thread.get_id()) {}

    void run();
    void writeBatch(std::size_t dropped, const std::deque<Message>& batch);
    void writeDirectly(Message message);
    void stop(std::optional<std::chrono::milliseconds> limit);
    bool onLoggerThread() const { return !finished && std::this_thread::get_id() == threadId; } // mutex held

    // Queue, guarded by mutex.
    std::mutex mutex;
    std::condition_variable wakeup;   // to the logger thread: new messages or stopping
    std::condition_variable progress; // to flush() and stop(): a batch written, or the thread finished
    std::deque<Message> queue;
    std::size_t capacity{defaultQueueCapacity};
    std::size_t dropped{0};
    std::uint64_t sent{0};    // messages queued so far
    std::uint64_t written{0}; // of those, how many the thread has written or dropped
    bool stopping{false};
    bool finished{false};  // the thread has written everything and ended; later messages are written directly
    bool abandoned{false}; // shutdown gave up waiting for a stuck sink; later messages are written directly

    std::atomic<int> minimumSeverity{static_cast<int>(Severity::debug)};

    // Set (under mutex) while the sink runs outside the mutex, so that it is never called
    // concurrently or after being replaced.
    bool sinkBusy{false};
    bool sinkStuck{false};      // a direct write gave up waiting for it; later ones do not wait again
    std::thread::id sinkThread; // the thread running the sink while sinkBusy
    std::condition_variable sinkFree;
    Sink sink;

    // Declared last: the thread starts once everything above is constructed.
    std::thread thread;
    std::thread::id threadId;
  };

  void Logger::State::run() {
    std::unique_lock lock(mutex);
    for(;;) {
      wakeup.wait(lock, [&] { return !queue.empty() || stopping; });
      if(queue.empty()) break; // stopping, and everything is written
      std::deque<Message> batch;
      batch.swap(queue);
      auto droppedNow = std::exchange(dropped, 0);
      auto batchEnd = sent;
      sinkFree.wait(lock, [&] { return !sinkBusy; });
      sinkBusy = true;
      sinkThread = std::this_thread::get_id();
      lock.unlock();
      writeBatch(droppedNow, batch);
      lock.lock();
      sinkBusy = false;
      sinkFree.notify_all();
      written = std::max(written, batchEnd);
      progress.notify_all();
    }
    finished = true;
    progress.notify_all();
  }

  void Logger::State::writeBatch(std::size_t droppedNow, const std::deque<Message>& batch) {
    if(droppedNow > 0) deliver(sink, droppedNotice(droppedNow));
    for(const auto& message : batch) deliver(sink, message);
    std::fflush(stdout);
  }

  void Logger::State::writeDirectly(Message message) {
    std::unique_lock lock(mutex);
    if(sinkBusy && sinkThread == std::this_thread::get_id()) return; // logged from within the sink
    // A sink stuck for good (its thread left behind by shutdown) must not hang the caller: write
    // around it to standard output.
    if(sinkStuck || !sinkFree.wait_for(lock, directWriteWaitLimit, [&] { return !sinkBusy; })) {
      sinkStuck = true;
      lock.unlock();
      writeToStdout(format(message), message);
      std::fflush(stdout);
      return;
    }
    sinkBusy = true;
    sinkThread = std::this_thread::get_id();
    lock.unlock();
    deliver(sink, message);
    std::fflush(stdout);
    lock.lock();
    sinkBusy = false;
    sinkFree.notify_all();
  }

  void Logger::State::stop(std::optional<std::chrono::milliseconds> limit) {
    std::unique_lock lock(mutex);
    stopping = true;
    wakeup.notify_all();
    // From within the sink (the sink ended the process) the thread cannot wait for itself.
    if(onLoggerThread()) return;
    bool done = true;
    if(limit) {
      done = progress.wait_for(lock, *limit, [&] { return finished; });
    }
    else {
      progress.wait(lock, [&] { return finished; });
    }
    if(!thread.joinable()) return; // another caller stopped it already
    auto ownThread = std::move(thread);
    if(done) {
      lock.unlock();
      ownThread.join();
      return;
    }
    // The sink is stuck and the process is ending: leave the thread behind and write what it
    // still holds in the queue around the sink, to standard output.
    ownThread.detach();
    abandoned = true;
    sinkStuck = true;
    std::deque<Message> rest;
    rest.swap(queue);
    auto droppedNow = std::exchange(dropped, 0);
    written = sent;
    lock.unlock();
    if(droppedNow > 0) {
      auto notice = droppedNotice(droppedNow);
      writeToStdout(format(notice), notice);
    }
    for(const auto& message : rest) writeToStdout(format(message), message);
    std::fflush(stdout);
  }

  Logger& Logger::instance() {
    // Never destroyed: objects with static storage may log from their destructors at any point of
    // static destruction, after the exit hook has stopped the thread.
    struct Holder {
      Holder() : logger() {
        std::atexit([] { Logger::instance().shutdown(); });
      }
      ~Holder() {}
      union {
        Logger logger;
      };
    };
    static Holder holder;
    return holder.logger;
  }

  Logger::Logger() : state_(std::make_unique<State>()) {}

  Logger::~Logger() {
    state_->stop(std::nullopt);
  }

  Logger::Stream Logger::stream(Severity severity, std::string source) {
    return Stream(*this, severity, std::move(source));
  }

  void Logger::log(Severity severity, std::string source, std::string text) {
    if(!isEnabled(severity)) return;
    Message message{std::chrono::system_clock::now(), severity, std::move(source), std::move(text)};
    auto& s = *state_;
    {
      std::lock_guard lock(s.mutex);
      if(!s.finished && !s.abandoned) {
        while(s.queue.size() >= s.capacity) {
          s.queue.pop_front();
          ++s.dropped;
        }
        s.queue.push_back(std::move(message));
        ++s.sent;
        s.wakeup.notify_one();
        return;
      }
    }
    s.writeDirectly(std::move(message));
  }

  bool Logger::isEnabled(Severity severity) const {
    return static_cast<int>(severity) >= state_->minimumSeverity.load(std::memory_order_relaxed);
  }

  void Logger::flush() {
    auto& s = *state_;
    std::unique_lock lock(s.mutex);
    if(s.onLoggerThread()) return;
    auto target = s.sent;
    s.progress.wait(lock, [&] { return s.written >= target || s.finished || s.abandoned; });
  }

  bool Logger::flushFor(std::chrono::milliseconds timeout) {
    auto& s = *state_;
    std::unique_lock lock(s.mutex);
    if(s.onLoggerThread()) return true;
    auto target = s.sent;
    return s.progress.wait_for(lock, timeout, [&] { return s.written >= target || s.finished || s.abandoned; });
  }

  void Logger::setMinimumSeverity(Severity severity) {
    state_->minimumSeverity.store(static_cast<int>(severity), std::memory_order_relaxed);
  }

  Logger::Severity Logger::minimumSeverity() const {
    return static_cast<Severity>(state_->minimumSeverity.load(std::memory_order_relaxed));
  }

  void Logger::setSink(Sink sink) {
    auto& s = *state_;
    std::unique_lock lock(s.mutex);
    if(s.onLoggerThread() || (s.sinkBusy && s.sinkThread == std::this_thread::get_id())) {
      throw logic_error("Logger::setSink called from within a log sink");
    }
    s.sinkFree.wait(lock, [&] { return !s.sinkBusy; });
    std::swap(s.sink, sink);
    lock.unlock();
    // `sink` now holds the old one; it is destroyed here, outside the lock, in case its captures log.
  }

  void Logger::setQueueCapacity(std::size_t capacity) {
    std::lock_guard lock(state_->mutex);
    state_->capacity = std::max<std::size_t>(capacity, 1);
  }

  std::size_t Logger::queueCapacity() const {
    std::lock_guard lock(state_->mutex);
    return state_->capacity;
  }

  void Logger::shutdown(std::chrono::milliseconds waitLimit) {
    state_->stop(waitLimit);
  }

  std::string_view Logger::severityName(Severity severity) {
    switch(severity) {
      case Severity::trace: return "TRACE";
      case Severity::debug: return "DEBUG";
      case Severity::info: return "INFO";
      case Severity::warning: return "WARNING";
      case Severity::error: return "ERROR";
    }
    return "?";
  }

  Logger::Severity Logger::toSeverity(int severity) {
    return static_cast<Severity>(std::clamp(severity, static_cast<int>(Severity::trace), static_cast<int>(Severity::error)));
  }

  std::string Logger::format(const Message& message) {
    using namespace std::chrono;
    auto seconds = floor<std::chrono::seconds>(message.time);
    auto millis = duration_cast<milliseconds>(message.time - seconds).count();
    std::time_t time = system_clock::to_time_t(seconds);
    std::tm local{};
    localtime_r(&time, &local);
    char stamp[40];
    int stampLength = std::snprintf(stamp, sizeof(stamp), "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
        local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(millis));

    std::string_view text = message.text;
    while(!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);

    std::string result(stamp, static_cast<std::size_t>(stampLength));
    auto name = severityName(message.severity);
    result += ' ';
    result += name;
    result.append(std::max<std::size_t>(7, name.size()) - name.size(), ' ');
    result += " [";
    result += message.source;
    result += "] ";

    // Further lines start under the severity, so that each entry stands out by its time stamp.
    const std::string indent(static_cast<std::size_t>(stampLength) + 1, ' ');
    for(bool first = true;; first = false) {
      auto end = text.find('\n');
      auto line = text.substr(0, end);
      if(!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if(!first) {
        result += '\n';
        result += indent;
      }
      result += line;
      if(end == std::string_view::npos) break;
      text.remove_prefix(end + 1);
    }
    return result;
  }

  void Logger::writeToStdout(const std::string& formatted, const Message&) {
    // One fwrite per entry: stdio locks the stream, so direct writes of other code never split it.
    std::string line;
    line.reserve(formatted.size() + 1);
    line += formatted;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
  }

  /********************************************************************************************************************/

  Logger::Stream::Stream(Logger& logger, Severity severity, std::string source)
  : logger_(logger.isEnabled(severity) ? &logger : nullptr), severity_(severity), source_(std::move(source)) {
    if(logger_) text_.emplace();
  }

  Logger::Stream::Stream(Stream&& other) noexcept
  : logger_(std::exchange(other.logger_, nullptr)), severity_(other.severity_), source_(std::move(other.source_)),
    text_(std::move(other.text_)) {}

  Logger::Stream::~Stream() {
    if(!logger_) return;
    try {
      logger_->log(severity_, std::move(source_), std::move(*text_).str());
    }
    catch(...) {
      // Out of memory while logging: nothing sensible is left to do in a destructor.
    }
  }

  Logger::Stream& Logger::Stream::operator<<(std::ostream& (*manipulator)(std::ostream&)) {
    if(text_) *text_ << manipulator;
    return *this;
  }

  Logger::Stream logger(Logger::Severity severity, std::string source) {
    return Logger::instance().stream(severity, std::move(source));
  }

  Logger::Stream logger(int severity, std::string source) {
    return Logger::instance().stream(Logger::toSeverity(severity), std::move(source));
  }

} // namespace Corvane
