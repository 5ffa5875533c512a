// Checks of run-time contracts. They stay active in every build type (NDEBUG does not remove them), and their
// messages name the place: the source file and line, the module whose thread broke the contract (when a module
// thread did) and, where the caller knows it, the accessor or variable concerned.
//
// CORVANE_ASSERT(condition): an invariant of the code itself (a protocol state, a piece of bookkeeping). A
// violation is a programming error that nothing can recover from: the log is given time to catch up, so that
// the events leading there are written, the failed condition goes to standard error with its place, and the
// process aborts, as a standard assertion would in a debug build:
//   MultiClientFirmwareMutexClientInterface.cc:22: void MultiClientFirmwareMutex::ClientInterface::lock():
//   Assertion `!_inhibit' failed (module /station/Controller/A).     (one line)
//
// Corvane::breakOfContract(message): a caller broke one of the framework's rules while running (wrote through
// an accessor that cannot send, assigned an array of another length). It is thrown as Corvane::logic_error;
// the message says what was broken and the throw appends the place. A module thread that throws it fails its
// module like any other exception: the application logs the message, shuts down and ends with exit status 1.
#pragma once

#include <source_location>
#include <string>

namespace Corvane {

  /// Throws Corvane::logic_error with `message` followed by its place: " (at <file>:<line>, module <path>)", the
  /// module part only on a module thread. `where` is the place of the check, filled in by the compiler.
  [[noreturn]] void breakOfContract(
      const std::string& message, std::source_location where = std::source_location::current());

  namespace detail {
    /// Reports the failed `condition` at `where` on standard error and aborts; see CORVANE_ASSERT.
    [[noreturn]] void failAssertion(const char* condition, std::source_location where);

    /// The qualified name of the module whose thread calls; empty on any other thread.
    std::string currentModulePath();
  } // namespace detail

} // namespace Corvane

#define CORVANE_ASSERT(condition)                                                                                      \
  ((condition) ? static_cast<void>(0) : ::Corvane::detail::failAssertion(#condition, std::source_location::current()))
