// Entry point of a control-system server program: runs the program's one application (a static
// object the program defines) and serves its process variables; see Corvane/Cs/ServerMain.h.
//
// This library is shared, so its static initialisation runs before the program's own. Until
// main() starts it keeps a terminate handler in place that hands an exception escaping the
// construction of a static object (the application) to ConstructionFailure, which says why on
// the operator's terminal and ends the process, instead of an abort without a word.
#include <Corvane/Cs/ConstructionFailure.h>
#include <Corvane/Cs/ServerMain.h>

#include <cstdlib>
#include <exception>

namespace {

  std::terminate_handler previousHandler = nullptr;

  [[noreturn]] void reportStaticConstructionFailure() {
    if(auto exception = std::current_exception()) Corvane::Cs::ConstructionFailure::endProcess(exception);
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
