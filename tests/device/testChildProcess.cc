// Shell commands run as child processes: output and exit, the descriptors the child gets,
// stopping the whole process group, and what a finished command leaves running.
#include "ProcessInspection.h"

#include <Corvane/ChildProcess.h>
#include <Corvane/Exception.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using Corvane::ChildProcess;
using CorvaneTest::groupEnds;
using CorvaneTest::livingMembersOf;

namespace {

  /// Waits, at most `limit`, until `done` holds.
  bool within(std::chrono::milliseconds limit, const std::function<bool()>& done) {
    auto end = std::chrono::steady_clock::now() + limit;
    while(!done()) {
      if(std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

  bool finishes(ChildProcess& child) {
    return within(std::chrono::seconds(10), [&] { return child.hasFinished(); });
  }

  TEST(ChildProcess, CollectsOutputAndHowTheCommandEnded) {
    struct Case {
      const char* command;
      const char* output;
      int exitCode;
      int signal;
    };
    const Case cases[] = {
        {"echo out; echo err >&2; echo more", "out\nerr\nmore\n", 0, 0},
        {"printf 'no newline'; exit 3", "no newline", 3, 0},
        {"head -c 100000 /dev/zero | tr '\\0' x", nullptr, 0, 0}, // more than a pipe holds
        {"echo going; kill -TERM $$", "going\n", -1, SIGTERM},
        {"read line; echo \"read '$line'\"", "read ''\n", 0, 0}, // standard input is empty
    };
    for(const auto& c : cases) {
      ChildProcess child(c.command);
      ASSERT_TRUE(finishes(child)) << c.command;
      if(c.output) EXPECT_EQ(child.output(), c.output) << c.command;
      else EXPECT_EQ(child.output(), std::string(100000, 'x')) << c.command;
      EXPECT_EQ(child.exitCode(), c.exitCode) << c.command;
      EXPECT_EQ(child.endingSignal(), c.signal) << c.command;
    }
  }

  TEST(ChildProcess, ChildGetsOnlyItsStandardStreams) {
    // descriptors of the test program that an exec would pass on
    CorvaneTest::InheritableDescriptors inheritable("/proc/self/status");
    ASSERT_TRUE(inheritable.open());

    ChildProcess child("ls /proc/$$/fd; readlink /proc/$$/fd/0");
    ASSERT_TRUE(finishes(child));
    EXPECT_EQ(child.output(), "0\n1\n2\n/dev/null\n");
  }

  TEST(ChildProcess, StopEndsTheWholeGroupAndReapsTheShell) {
    struct Case {
      const char* what;
      const char* command;
      std::size_t running; // processes of the group at least, once it has started
      int signal;          // that ended the shell
    };
    const Case cases[] = {
        {"ends at SIGTERM", "sleep 30 & sleep 30", 2, SIGTERM},
        {"ignores SIGTERM", "trap '' TERM; sleep 30 & sleep 30", 2, SIGKILL},
        {"has exited, its background process holds the output", "sleep 30 &", 1, 0},
    };
    for(const auto& c : cases) {
      ChildProcess child(c.command);
      auto group = child.processGroup();
      ASSERT_TRUE(within(std::chrono::seconds(10), [&] {
        return livingMembersOf(group).size() >= c.running && (c.signal != 0 || child.exitCode() == 0);
      })) << c.what;
      EXPECT_FALSE(child.hasFinished()) << c.what;
      auto started = std::chrono::steady_clock::now();
      child.stop();
      EXPECT_LT(std::chrono::steady_clock::now() - started, ChildProcess::stopGrace + std::chrono::milliseconds(500))
          << c.what;
      EXPECT_TRUE(groupEnds(group)) << c.what;
      EXPECT_EQ(child.endingSignal(), c.signal) << c.what;
    }
  }

  TEST(ChildProcess, DestroyingARunningCommandStopsIt) {
    pid_t group;
    {
      ChildProcess child("sleep 30");
      group = child.processGroup();
      ASSERT_TRUE(within(std::chrono::seconds(10), [&] { return !livingMembersOf(group).empty(); }));
    }
    EXPECT_TRUE(groupEnds(group));
  }

  TEST(ChildProcess, AFinishedCommandLeavesWhatItStartedAlone) {
    pid_t daemon;
    {
      ChildProcess child("sleep 30 > /dev/null 2>&1 & echo $!");
      ASSERT_TRUE(finishes(child));
      daemon = std::stoi(child.output());
    }
    EXPECT_EQ(::kill(daemon, 0), 0);
    ::kill(daemon, SIGKILL);
  }

  TEST(ChildProcess, ReportsChangesThroughTheCallback) {
    std::mutex mutex;
    std::condition_variable changed;
    int calls = 0;
    bool lastCallSawTheEnd = false;
    std::unique_ptr<ChildProcess> child;
    {
      std::lock_guard lock(mutex); // the callback waits until `child` is set
      child = std::make_unique<ChildProcess>("echo one; sleep 0.05; echo two", [&] {
        std::lock_guard lock(mutex);
        ++calls;
        lastCallSawTheEnd = child->hasFinished() && child->output() == "one\ntwo\n";
        changed.notify_all();
      });
    }
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return lastCallSawTheEnd; }));
    // at least one piece of output and the exit (a reader that lags takes both pieces at once)
    EXPECT_GE(calls, 2);
  }

  TEST(ChildProcess, AMissingCommandFailsLikeAnyOther) {
    // /bin/sh starts, the command itself is missing: an ordinary failed command
    ChildProcess missing("/nonexistent/command");
    ASSERT_TRUE(finishes(missing));
    EXPECT_EQ(missing.exitCode(), 127);
    EXPECT_NE(missing.output().find("/nonexistent/command"), std::string::npos) << missing.output();
  }

} // namespace
