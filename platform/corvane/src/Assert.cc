#include "Corvane/Assert.h"

#include "Corvane/Exception.h"
#include "Corvane/Logger.h"
#include "Corvane/detail/Scheduler.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace Corvane {

  namespace {

    /// The file name without its directories: the build's absolute paths say nothing to a reader of the log.
    std::string_view fileNameOf(const std::source_location& where) {
      std::string_view file = where.file_name();
      auto slash = file.rfind('/');
      return slash == std::string_view::npos ? file : file.substr(slash + 1);
    }

    std::string moduleSuffix() {
      auto module = detail::currentModulePath();
      return module.empty() ? std::string() : " (module " + module + ")";
    }

  } // namespace

  void breakOfContract(const std::string& message, std::source_location where) {
    auto module = detail::currentModulePath();
    throw logic_error(message + " (at " + std::string(fileNameOf(where)) + ":" + std::to_string(where.line()) +
        (module.empty() ? std::string() : ", module " + module) + ")");
  }

  namespace detail {

    void failAssertion(const char* condition, std::source_location where) {
      // Let the log catch up, so that the events leading here are written before the process ends.
      Logger::instance().flushFor(std::chrono::milliseconds(500));
      auto file = fileNameOf(where);
      std::fprintf(stderr, "%.*s:%u: %s: Assertion `%s' failed%s.\n", static_cast<int>(file.size()), file.data(),
          static_cast<unsigned>(where.line()), where.function_name(), condition, moduleSuffix().c_str());
      std::fflush(stderr);
      std::abort();
    }

    std::string currentModulePath() {
      auto* inbox = currentInbox();
      return inbox ? inbox->name : std::string();
    }

  } // namespace detail

} // namespace Corvane
