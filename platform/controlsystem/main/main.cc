// Entry point of a control-system server program: runs the program's one application (a static
// object the program defines) and serves its process variables; see Corvane/Cs/ServerMain.h.
//
// This library is shared, so its static initialisation runs before the program's own. Until
// main() starts it keeps a terminate handler in place that turns an exception escaping the
// construction of a static object (the application) into a message on stderr and exit status 1,
// instead of an abort without a word.
#include <Corvane/Cs/ServerMain.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

namespace {

  std::terminate_handler previousHandler = nullptr;

  [[noreturn]] void reportStaticConstructionFailure() {
    if(auto exception = std::current_exception()) {
      std::string what = "unknown exception";
      try {
        std::rethrow_exception(exception);
      }
      catch(std::exception& e) {
        what = e.what();
      }
      catch(...) {
      }
      std::fprintf(stderr, "%s: the application could not be constructed: %s\n", program_invocation_short_name,
          what.c_str());
      std::fflush(stderr);
      std::exit(1);
    }
    if(previousHandler) previousHandler();
    std::abort();
  }

  const bool handlerInstalled = [] {
    previousHandler = std::set_terminate(reportStaticConstructionFailure);
    return true;
  }();

} // namespace

int main(int argc, char** argv) {
  (void)handlerInstalled;
  std::set_terminate(previousHandler);
  return Corvane::Cs::serverMain(argc, argv);
}
