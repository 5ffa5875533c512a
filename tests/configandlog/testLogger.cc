// Tests of Corvane::Logger: one message per stream, the entry format, the severity filter, writers on
// many threads, flush, overflow of the queue, sinks, and stopping at process exit.
#include <Corvane/Exception.h>
#include <Corvane/Logger.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using Corvane::Logger;
using Severity = Corvane::Logger::Severity;
using namespace std::chrono_literals;

namespace {

  constexpr auto waitLimit = std::chrono::milliseconds(10s);

  // Collects what a logger delivers.
  class Capture {
   public:
    Logger::Sink sink() {
      return [this](const std::string& formatted, const Logger::Message& message) {
        std::lock_guard lock(mutex_);
        formatted_.push_back(formatted);
        messages_.push_back(message);
      };
    }
    std::vector<Logger::Message> messages() const {
      std::lock_guard lock(mutex_);
      return messages_;
    }
    std::vector<std::string> texts() const {
      std::lock_guard lock(mutex_);
      std::vector<std::string> result;
      for(const auto& m : messages_) result.push_back(m.text);
      return result;
    }
    std::vector<std::string> formatted() const {
      std::lock_guard lock(mutex_);
      return formatted_;
    }

   private:
    mutable std::mutex mutex_;
    std::vector<std::string> formatted_;
    std::vector<Logger::Message> messages_;
  };

  // A door a sink can wait at (bounded) until the test opens it.
  class Gate {
   public:
    void open() {
      std::lock_guard lock(mutex_);
      open_ = true;
      changed_.notify_all();
    }
    bool waitOpen() {
      std::unique_lock lock(mutex_);
      return changed_.wait_for(lock, waitLimit, [&] { return open_; });
    }

   private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_{false};
  };

  // A logger of its own with a capturing sink, for tests that need no process-wide state.
  class LoggerTest : public ::testing::Test {
   protected:
    LoggerTest() { logger.setSink(capture.sink()); }

    Capture capture; // declared first: outlives the logger and its thread
    Logger logger;
  };

  /********************************************************************************************************************/

  struct StreamCase {
    std::string name;
    std::function<void(Logger&)> send;
    std::vector<std::string> expected; // the raw texts, in order
  };

  TEST_F(LoggerTest, EachStreamIsOneMessage) {
    const std::vector<StreamCase> cases{
        {"pieces", [](Logger& l) { l.stream(Severity::info, "src") << "a" << 42 << ' ' << 1.5 << std::string("z"); },
            {"a42 1.5z"}},
        {"nothing streamed", [](Logger& l) { l.stream(Severity::info, "src"); }, {""}},
        {"end of line", [](Logger& l) { l.stream(Severity::info, "src") << "line" << std::endl; }, {"line\n"}},
        {"flush sends nothing early", [](Logger& l) { l.stream(Severity::info, "src") << "a" << std::flush << "b"; },
            {"ab"}},
        {"two statements",
            [](Logger& l) {
              l.stream(Severity::info, "src") << "first";
              l.stream(Severity::info, "src") << "second";
            },
            {"first", "second"}},
        {"a named stream ends with its scope",
            [](Logger& l) {
              auto s = l.stream(Severity::info, "src");
              s << "x";
              l.stream(Severity::info, "src") << "inner";
              s << "y";
            },
            {"inner", "xy"}},
        {"moved stream sends once",
            [](Logger& l) {
              auto s = l.stream(Severity::info, "src");
              s << "x";
              auto t = std::move(s);
              t << "y";
            },
            {"xy"}},
        {"log()", [](Logger& l) { l.log(Severity::info, "src", "direct"); }, {"direct"}},
    };
    std::size_t done = 0;
    for(const auto& c : cases) {
      SCOPED_TRACE(c.name);
      c.send(logger);
      ASSERT_TRUE(logger.flushFor(waitLimit));
      auto texts = capture.texts();
      ASSERT_EQ(texts.size(), done + c.expected.size());
      EXPECT_EQ(std::vector<std::string>(texts.begin() + static_cast<std::ptrdiff_t>(done), texts.end()), c.expected);
      done = texts.size();
    }
    for(const auto& m : capture.messages()) {
      EXPECT_EQ(m.source, "src");
      EXPECT_EQ(m.severity, Severity::info);
    }
  }

  /********************************************************************************************************************/

  // 2026-12-10 14:03:22.123 local time.
  std::chrono::system_clock::time_point fixedTime() {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 10;
    local.tm_hour = 14;
    local.tm_min = 3;
    local.tm_sec = 22;
    local.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&local)) + 123ms;
  }

  TEST(LoggerFormat, Entries) {
    const std::string stamp = "2026-12-10 14:03:22.123 ";
    const std::string indent(stamp.size(), ' ');
    struct Case {
      Severity severity;
      std::string source, text, expected;
    };
    const std::vector<Case> cases{
        {Severity::trace, "s", "t", stamp + "TRACE   [s] t"},
        {Severity::debug, "s", "t", stamp + "DEBUG   [s] t"},
        {Severity::info, "tessarel", "started", stamp + "INFO    [tessarel] started"},
        {Severity::warning, "WindowLengthSetter", "rejected", stamp + "WARNING [WindowLengthSetter] rejected"},
        {Severity::error, "s", "t", stamp + "ERROR   [s] t"},
        {Severity::info, "s", "", stamp + "INFO    [s] "},
        {Severity::info, "s", "ends\n", stamp + "INFO    [s] ends"},
        {Severity::info, "s", "ends\r\n\n", stamp + "INFO    [s] ends"},
        {Severity::info, "s", "one\ntwo\nthree", stamp + "INFO    [s] one\n" + indent + "two\n" + indent + "three"},
        {Severity::info, "s", "one\r\ntwo\r\n", stamp + "INFO    [s] one\n" + indent + "two"},
        {Severity::info, "s", "one\n\nthree", stamp + "INFO    [s] one\n" + indent + "\n" + indent + "three"},
        {Severity::info, "s", "\nafter", stamp + "INFO    [s] \n" + indent + "after"},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(c.text);
      EXPECT_EQ(Logger::format({fixedTime(), c.severity, c.source, c.text}), c.expected);
    }
  }

  TEST_F(LoggerTest, SinkGetsFormattedEntryAndRawFields) {
    auto before = std::chrono::system_clock::now();
    logger.stream(Severity::warning, "WindowLengthSetter") << "first\nsecond\n";
    ASSERT_TRUE(logger.flushFor(waitLimit));
    auto after = std::chrono::system_clock::now();
    auto messages = capture.messages();
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_EQ(messages[0].severity, Severity::warning);
    EXPECT_EQ(messages[0].source, "WindowLengthSetter");
    EXPECT_EQ(messages[0].text, "first\nsecond\n");
    EXPECT_GE(messages[0].time, before);
    EXPECT_LE(messages[0].time, after);
    EXPECT_EQ(capture.formatted().at(0), Logger::format(messages[0]));
  }

  /********************************************************************************************************************/

  // Counts how often it is formatted, to see that filtered streams skip the formatting.
  struct Expensive {
    int* count;
  };
  std::ostream& operator<<(std::ostream& out, const Expensive& e) {
    ++*e.count;
    return out << "expensive";
  }

  TEST_F(LoggerTest, MinimumSeverityFiltersWhereSent) {
    const std::vector<Severity> all{
        Severity::trace, Severity::debug, Severity::info, Severity::warning, Severity::error};
    EXPECT_EQ(logger.minimumSeverity(), Severity::debug);
    for(auto minimum : all) {
      logger.setMinimumSeverity(minimum);
      EXPECT_EQ(logger.minimumSeverity(), minimum);
      for(auto severity : all) {
        SCOPED_TRACE(std::string(Logger::severityName(minimum)) + " / " + std::string(Logger::severityName(severity)));
        auto before = capture.messages().size();
        int formatted = 0;
        logger.stream(severity, "src") << Expensive{&formatted};
        logger.log(severity, "src", "direct");
        ASSERT_TRUE(logger.flushFor(waitLimit));
        bool passes = static_cast<int>(severity) >= static_cast<int>(minimum);
        EXPECT_EQ(logger.isEnabled(severity), passes);
        EXPECT_EQ(capture.messages().size() - before, passes ? 2U : 0U);
        EXPECT_EQ(formatted, passes ? 1 : 0);
      }
    }
  }

  /********************************************************************************************************************/

  TEST_F(LoggerTest, ConcurrentWritersLoseAndMixNothing) {
    constexpr int nThreads = 8;
    constexpr int nMessages = 2000;
    logger.setQueueCapacity(nThreads * nMessages);
    {
      std::vector<std::jthread> writers;
      for(int t = 0; t < nThreads; ++t) {
        writers.emplace_back([this, t] {
          for(int m = 0; m < nMessages; ++m) {
            logger.stream(Severity::info, "thread" + std::to_string(t)) << "thread " << t << " message " << m << '\n'
                                                                        << "second line of " << m;
          }
        });
      }
    }
    ASSERT_TRUE(logger.flushFor(waitLimit));
    auto messages = capture.messages();
    ASSERT_EQ(messages.size(), std::size_t{nThreads * nMessages});
    std::vector<int> next(nThreads, 0); // each thread's messages arrive whole and in its order
    for(const auto& m : messages) {
      int t = std::stoi(m.source.substr(6));
      ASSERT_GE(t, 0);
      ASSERT_LT(t, nThreads);
      auto expected = "thread " + std::to_string(t) + " message " + std::to_string(next[t]) + "\nsecond line of " +
          std::to_string(next[t]);
      ASSERT_EQ(m.text, expected);
      ++next[t];
    }
    for(int t = 0; t < nThreads; ++t) EXPECT_EQ(next[t], nMessages);
  }

  TEST_F(LoggerTest, FlushReturnsWhenEverythingIsWritten) {
    for(int round = 1; round <= 5; ++round) {
      for(int i = 0; i < 1000; ++i) logger.log(Severity::info, "src", std::to_string(i));
      ASSERT_TRUE(logger.flushFor(waitLimit));
      EXPECT_EQ(capture.messages().size(), std::size_t(round * 1000));
    }
    logger.flush(); // nothing queued: returns at once
  }

  TEST_F(LoggerTest, FlushTimesOutWhileTheSinkIsStuck) {
    Gate entered, release;
    logger.setSink([&](const std::string&, const Logger::Message&) {
      entered.open();
      release.waitOpen();
    });
    logger.log(Severity::info, "src", "stuck");
    ASSERT_TRUE(entered.waitOpen());
    EXPECT_FALSE(logger.flushFor(50ms));
    release.open();
    EXPECT_TRUE(logger.flushFor(waitLimit));
  }

  /********************************************************************************************************************/

  struct OverflowCase {
    std::size_t capacity;
    int sent; // while the sink is held
    std::size_t dropped;
  };

  TEST(LoggerOverflow, OldestMessagesAreDroppedAndCounted) {
    const std::vector<OverflowCase> cases{{3, 10, 7}, {5, 5, 0}, {1, 4, 3}, {4, 5, 1}};
    for(const auto& c : cases) {
      SCOPED_TRACE("capacity " + std::to_string(c.capacity) + ", sent " + std::to_string(c.sent));
      Capture capture;
      Gate entered, release;
      auto inner = capture.sink();
      Logger logger;
      logger.setQueueCapacity(c.capacity);
      EXPECT_EQ(logger.queueCapacity(), c.capacity);
      logger.setSink([&](const std::string& formatted, const Logger::Message& message) {
        entered.open();
        release.waitOpen();
        inner(formatted, message);
      });
      logger.log(Severity::info, "src", "held"); // the logger thread waits in the sink with this one
      ASSERT_TRUE(entered.waitOpen());
      for(int i = 0; i < c.sent; ++i) logger.log(Severity::info, "src", "m" + std::to_string(i));
      release.open();
      ASSERT_TRUE(logger.flushFor(waitLimit));

      std::vector<std::string> expected{"held"};
      if(c.dropped > 0) expected.push_back(std::to_string(c.dropped) + " log messages dropped");
      for(auto i = static_cast<int>(c.dropped); i < c.sent; ++i) expected.push_back("m" + std::to_string(i));
      EXPECT_EQ(capture.texts(), expected);
      if(c.dropped > 0) {
        auto notice = capture.messages().at(1);
        EXPECT_EQ(notice.severity, Severity::warning);
        EXPECT_EQ(notice.source, "Logger");
      }
    }
  }

  /********************************************************************************************************************/

  TEST_F(LoggerTest, SinkMayLogAndFlushButNotReplaceItself) {
    std::atomic<bool> setSinkThrew{false};
    bool nested = false;
    logger.setSink([&](const std::string&, const Logger::Message& message) {
      if(message.text != "outer") return;
      logger.flush(); // must not wait for itself
      EXPECT_TRUE(logger.flushFor(waitLimit));
      try {
        logger.setSink({});
      }
      catch(const Corvane::logic_error&) {
        setSinkThrew = true;
      }
      logger.log(Severity::info, "src", "inner");
      nested = true;
    });
    logger.log(Severity::info, "src", "outer");
    ASSERT_TRUE(logger.flushFor(waitLimit));
    ASSERT_TRUE(logger.flushFor(waitLimit)); // the inner message
    EXPECT_TRUE(nested);
    EXPECT_TRUE(setSinkThrew);
  }

  TEST_F(LoggerTest, ReplacedSinkIsNoLongerCalled) {
    logger.log(Severity::info, "src", "to the first");
    ASSERT_TRUE(logger.flushFor(waitLimit));
    Capture second;
    logger.setSink(second.sink());
    logger.log(Severity::info, "src", "to the second");
    ASSERT_TRUE(logger.flushFor(waitLimit));
    EXPECT_EQ(capture.texts(), std::vector<std::string>{"to the first"});
    EXPECT_EQ(second.texts(), std::vector<std::string>{"to the second"});
  }

  TEST_F(LoggerTest, SetSinkWaitsForTheRunningSink) {
    Gate entered, release;
    std::atomic<bool> left{false};
    logger.setSink([&](const std::string&, const Logger::Message&) {
      entered.open();
      release.waitOpen();
      left = true;
    });
    logger.log(Severity::info, "src", "held");
    ASSERT_TRUE(entered.waitOpen());
    std::atomic<bool> leftWhenReplaced{false};
    std::jthread replacer([&] {
      logger.setSink(capture.sink());
      leftWhenReplaced = left.load();
    });
    release.open();
    replacer.join();
    EXPECT_TRUE(leftWhenReplaced);
  }

  TEST_F(LoggerTest, ThrowingSinkFallsBackToStandardOutput) {
    logger.setSink([](const std::string&, const Logger::Message&) { throw std::runtime_error("broken"); });
    testing::internal::CaptureStdout();
    logger.log(Severity::error, "src", "still visible");
    ASSERT_TRUE(logger.flushFor(waitLimit));
    auto out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("ERROR   [src] still visible\n"), std::string::npos) << out;
  }

  TEST(LoggerDefaultSink, WritesOneLinePerEntryToStandardOutput) {
    Logger logger;
    testing::internal::CaptureStdout();
    logger.log(Severity::info, "src", "one");
    logger.log(Severity::error, "src", "two\nlines\n");
    ASSERT_TRUE(logger.flushFor(waitLimit));
    auto out = testing::internal::GetCapturedStdout();
    auto first = out.find(" INFO    [src] one\n");
    auto second = out.find(" ERROR   [src] two\n");
    ASSERT_NE(first, std::string::npos) << out;
    ASSERT_NE(second, std::string::npos) << out;
    EXPECT_LT(first, second);
    EXPECT_NE(out.find("\n" + std::string(24, ' ') + "lines\n"), std::string::npos) << out;
  }

  /********************************************************************************************************************/

  TEST(LoggerShutdown, WritesQueuedMessagesIsIdempotentAndLaterMessagesGoDirect) {
    Capture capture;
    Gate release;
    auto inner = capture.sink();
    Logger logger;
    logger.setSink([&](const std::string& formatted, const Logger::Message& message) {
      release.waitOpen();
      inner(formatted, message);
    });
    for(int i = 0; i < 100; ++i) logger.log(Severity::info, "src", std::to_string(i));
    std::jthread opener([&] { release.open(); });
    logger.shutdown(); // writes all 100 before it returns
    EXPECT_EQ(capture.messages().size(), 100U);
    logger.shutdown();
    std::jthread([&] { logger.shutdown(); }).join();

    logger.log(Severity::info, "src", "after shutdown");
    auto texts = capture.texts(); // written by this thread, no flush needed
    ASSERT_EQ(texts.size(), 101U);
    EXPECT_EQ(texts.back(), "after shutdown");
    logger.flush();
    EXPECT_TRUE(logger.flushFor(waitLimit));
  }

  TEST(LoggerShutdown, DestructionWritesQueuedMessages) {
    Capture capture;
    {
      Logger logger;
      logger.setSink(capture.sink());
      for(int i = 0; i < 500; ++i) logger.stream(Severity::info, "src") << i;
    }
    EXPECT_EQ(capture.messages().size(), 500U);
  }

  TEST(LoggerShutdown, StuckSinkDoesNotHangIt) {
    Gate entered, release;
    Capture capture;
    auto inner = capture.sink();
    Logger logger; // destroyed first: waits for the thread that shutdown left behind
    logger.setSink([&](const std::string& formatted, const Logger::Message& message) {
      entered.open();
      release.waitOpen();
      inner(formatted, message);
    });
    logger.log(Severity::info, "src", "stuck");
    ASSERT_TRUE(entered.waitOpen());
    testing::internal::CaptureStdout();
    logger.log(Severity::info, "src", "queued");
    logger.shutdown(50ms);
    logger.log(Severity::info, "src", "after"); // written around the stuck sink
    EXPECT_TRUE(logger.flushFor(waitLimit));
    auto out = testing::internal::GetCapturedStdout();
    auto queued = out.find("INFO    [src] queued\n");
    auto after = out.find("INFO    [src] after\n");
    ASSERT_NE(queued, std::string::npos) << out;
    ASSERT_NE(after, std::string::npos) << out;
    EXPECT_LT(queued, after);
    EXPECT_EQ(out.find("stuck"), std::string::npos) << out;
    release.open();
  }

  /********************************************************************************************************************/

  // The process-wide logger; each test restores what it changes.
  class GlobalLoggerTest : public ::testing::Test {
   protected:
    GlobalLoggerTest() { Logger::instance().setSink(capture.sink()); }
    ~GlobalLoggerTest() override {
      Logger::instance().flush();
      Logger::instance().setSink({});
      Logger::instance().setMinimumSeverity(Severity::debug);
    }
    Capture capture;
  };

  TEST_F(GlobalLoggerTest, FreeFunctionWritesToTheInstance) {
    EXPECT_EQ(&Logger::instance(), &Logger::instance());
    Corvane::logger(Severity::info, "tessarel") << "version " << 8 << '.' << 7;
    Corvane::logger(Severity::warning, "MultiClientFirmwareMutex") << "time-out";
    ASSERT_TRUE(Logger::instance().flushFor(waitLimit));
    auto messages = capture.messages();
    ASSERT_EQ(messages.size(), 2U);
    EXPECT_EQ(messages[0].source, "tessarel");
    EXPECT_EQ(messages[0].text, "version 8.7");
    EXPECT_EQ(messages[1].severity, Severity::warning);
    EXPECT_EQ(messages[1].source, "MultiClientFirmwareMutex");
  }

  TEST_F(GlobalLoggerTest, NumericSeverities) {
    Logger::instance().setMinimumSeverity(Severity::trace);
    const std::vector<std::pair<int, Severity>> cases{{-5, Severity::trace}, {0, Severity::trace},
        {1, Severity::debug}, {2, Severity::info}, {3, Severity::warning}, {4, Severity::error}, {5, Severity::error},
        {100, Severity::error}};
    for(const auto& [number, severity] : cases) {
      EXPECT_EQ(Logger::toSeverity(number), severity) << number;
      Corvane::logger(number, "GainTable") << number;
    }
    ASSERT_TRUE(Logger::instance().flushFor(waitLimit));
    auto messages = capture.messages();
    ASSERT_EQ(messages.size(), cases.size());
    for(std::size_t i = 0; i < cases.size(); ++i) {
      EXPECT_EQ(messages[i].severity, cases[i].second) << cases[i].first;
      EXPECT_EQ(messages[i].text, std::to_string(cases[i].first));
    }
  }

  /********************************************************************************************************************/
  // Process exit, in child processes. Exit hooks run in reverse order of registration, so a hook
  // registered before the logger's first use runs after the logger's own hook, and one registered
  // after it runs before.

  std::atomic<int> exitDelivered{0};
  Gate sinkEntered, exitGate;

  void reportDelivered() {
    std::fprintf(stderr, "delivered %d\n", exitDelivered.load());
    Corvane::logger(Severity::info, "late") << "after the exit hook";
  }

  // Queues `count` messages that the logger thread cannot write before the process ends: the sink
  // holds the first message until the exit has begun, and the others are sent meanwhile.
  void logThenExit(int count) {
    std::atexit(reportDelivered);
    auto& logger = Logger::instance();
    std::atexit([] { exitGate.open(); });
    logger.setQueueCapacity(static_cast<std::size_t>(count));
    logger.setSink([](const std::string& formatted, const Logger::Message& message) {
      sinkEntered.open();
      exitGate.waitOpen();
      if(message.source == "late") std::fprintf(stderr, "%s\n", formatted.c_str());
      ++exitDelivered;
    });
    Corvane::logger(Severity::info, "src") << 0;
    if(!sinkEntered.waitOpen()) std::abort();
    for(int i = 1; i < count; ++i) Corvane::logger(Severity::info, "src") << i;
    std::exit(3);
  }

  TEST(LoggerExitDeathTest, ExitFromMainThreadWritesEverything) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(logThenExit(5000), testing::ExitedWithCode(3), "delivered 5000\n.*INFO    \\[late\\] after the exit hook");
  }

  TEST(LoggerExitDeathTest, ExitFromAnotherThreadWritesEverything) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
          std::thread worker([] { logThenExit(5000); });
          worker.join();
        },
        testing::ExitedWithCode(3), "delivered 5000\n");
  }

} // namespace
