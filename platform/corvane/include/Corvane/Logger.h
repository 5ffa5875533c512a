// Corvane::Logger is the process-wide log, usable from any thread:
//   Corvane::logger(Corvane::Logger::Severity::warning, "WindowLengthSetter") << "rejected " << value;
// Everything streamed into one expression becomes one message, sent when the expression ends. A
// dedicated thread formats and writes the messages, so callers never wait for output.
//
// Output: one entry per message on standard output (all severities, errors included, so that the
// order of events is kept in one stream), e.g.
//   2026-12-10 14:03:22.123 WARNING [WindowLengthSetter] rejected 12
// Further lines of a multi-line message are indented by the width of the time stamp; trailing
// newlines are dropped.
//
// Queue: bounded (4096 messages unless set otherwise). When it is full the oldest waiting message
// is dropped; the next output then starts with a warning "N log messages dropped".
//
// Process exit: the first use of instance() registers an std::atexit hook that calls shutdown(),
// so std::exit from any thread, or the end of main, writes every queued message and stops the
// thread. Messages sent after shutdown() (e.g. from destructors of static objects) are written
// directly by the calling thread. The instance itself is never destroyed, so logging is valid at
// any point of static destruction. A sink must not call std::exit and must not log to the same
// Logger recursively without bound.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>

namespace Corvane {

  class Logger {
   public:
    enum class Severity : int { trace = 0, debug = 1, info = 2, warning = 3, error = 4 };

    struct Message {
      std::chrono::system_clock::time_point time; // when it was sent
      Severity severity{Severity::info};
      std::string source;
      std::string text; // as streamed, newlines included
    };

    // Called on the logger thread (or, after shutdown(), on the sending thread), one message at a
    // time, never concurrently: the formatted entry without a final newline, and the raw fields.
    using Sink = std::function<void(const std::string& formatted, const Message& message)>;

    class Stream;

    // The process-wide logger (created on first use, with the exit hook, see above).
    static Logger& instance();

    // A separate logger with its own thread; mainly for tests. Destruction writes what is queued.
    Logger();
    ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    // A stream whose content is sent as one message when the stream is destroyed.
    Stream stream(Severity severity, std::string source);

    // Queues one message (does nothing below the minimum severity). Never waits for output.
    void log(Severity severity, std::string source, std::string text);

    bool isEnabled(Severity severity) const;

    // Return when every message sent before the call has been handed to the sink. flush() waits
    // without limit; flushFor() gives up after the timeout and then returns false. Called from
    // within the sink, both return at once.
    void flush();
    bool flushFor(std::chrono::milliseconds timeout);

    // Messages below this severity are discarded where they are sent. Default: debug.
    void setMinimumSeverity(Severity severity);
    Severity minimumSeverity() const;

    // Replaces the sink; an empty function restores standard output. When this returns, the old
    // sink is no longer called. Must not be called from within a sink (throws logic_error).
    void setSink(Sink sink);

    // Number of messages that may wait for the logger thread (at least 1).
    void setQueueCapacity(std::size_t capacity);
    std::size_t queueCapacity() const;

    // Writes everything queued and stops the logger thread. Idempotent and safe from any thread.
    // If the sink does not return within waitLimit, the thread is left behind, the queued messages
    // go to standard output, and later messages are written directly (around a still stuck sink).
    void shutdown(std::chrono::milliseconds waitLimit = std::chrono::seconds(5));

    // The entry as the standard-output sink writes it (without the final newline).
    static std::string format(const Message& message);
    static std::string_view severityName(Severity severity);
    // Numeric severities below 0 are trace, above 4 error.
    static Severity toSeverity(int severity);
    // The default sink: writes the entry and a newline to standard output in one piece.
    static void writeToStdout(const std::string& formatted, const Message& message);

   private:
    struct State;
    std::unique_ptr<State> state_;
  };

  class Logger::Stream {
   public:
    Stream(Stream&& other) noexcept;
    Stream& operator=(Stream&&) = delete;
    ~Stream();

    template<class T>
    Stream& operator<<(const T& value) {
      if(text_) *text_ << value;
      return *this;
    }

    // std::endl, std::flush and the like; std::flush sends nothing early.
    Stream& operator<<(std::ostream& (*manipulator)(std::ostream&));

   private:
    friend class Logger;
    Stream(Logger& logger, Severity severity, std::string source);

    Logger* logger_; // null when the severity is filtered out or after a move
    Severity severity_;
    std::string source_;
    std::optional<std::ostringstream> text_;
  };

  // Streams into the process-wide logger, e.g. logger(Logger::Severity::info, "tessarel") << "started";
  Logger::Stream logger(Logger::Severity severity, std::string source);
  // The same with a numeric severity (0 trace .. 4 error; clamped to that range).
  Logger::Stream logger(int severity, std::string source);

} // namespace Corvane
