#include "Corvane/Cs/ConstructionFailure.h"

#include <Corvane/StartUpRefusal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace Corvane::Cs {

  void ConstructionFailure::endProcess(std::exception_ptr failure) {
    std::string what = "unknown exception";
    try {
      if(failure) std::rethrow_exception(failure);
    }
    catch(const StartUpRefusal& refusal) {
      refusal.endProcess();
    }
    catch(const std::exception& e) {
      what = e.what();
    }
    catch(...) {
    }
    std::fprintf(stderr, "%s: the application could not be constructed: %s\n", program_invocation_short_name,
        what.c_str());
    std::fflush(stderr);
    std::exit(1);
  }

} // namespace Corvane::Cs
