// Test support: collects the messages that the process-wide logger is sent while the capture
// lives; messages still queued from before go to the earlier sink first. It replaces the
// logger's sink and restores standard output when destroyed.
#pragma once

#include "Corvane/Logger.h"

#include <mutex>
#include <string>
#include <vector>

namespace Corvane {

  class LogCapture {
   public:
    /// With a source name, only that source's messages are kept.
    explicit LogCapture(std::string source = {});
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    /// Every message so far (after the logger wrote everything queued).
    std::vector<Logger::Message> messages();
    /// Texts of the messages so far; forgets them.
    std::vector<std::string> take();
    /// Texts of the messages from `source`, in order.
    std::vector<std::string> textsFrom(const std::string& source);
    /// Texts of the warnings whose text contains `part`.
    std::vector<std::string> warningsContaining(const std::string& part);

   private:
    std::string _source;
    std::mutex _mutex;
    std::vector<Logger::Message> _messages;
  };

} // namespace Corvane
