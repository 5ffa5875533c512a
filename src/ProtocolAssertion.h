// Checks of protocol invariants that stay active in every build type. A violation is a programming error, not
// an operating condition: it is reported with the failed condition and its place, and the process ends
// (abort), as a standard assertion would in a debug build.
#pragma once

#include <Corvane/Logger.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace ProtocolAssertion {

  [[noreturn]] inline void fail(const char* condition, const char* file, int line, const char* function) {
    // Let the log catch up, so that the events leading here are written before the process ends.
    Corvane::Logger::instance().flushFor(std::chrono::milliseconds(500));
    std::fprintf(stderr, "%s:%d: %s: Assertion `%s' failed.\n", file, line, function, condition);
    std::fflush(stderr);
    std::abort();
  }

} // namespace ProtocolAssertion

#define PROTOCOL_ASSERT(condition)                                                                                     \
  ((condition) ? static_cast<void>(0) : ::ProtocolAssertion::fail(#condition, __FILE__, __LINE__, __func__))
