// The program's one application: the station server "tessarel", built before main() runs. Its
// configuration and device map are "tessarel_base_config.xml" and "tessarel.dmap" in the
// working directory.
//
// A command line that asks for help ("--help" or "-h" anywhere) builds no station: main() then
// prints the usage, also in a directory without a station's files. The station is built by an
// initialisation function, which glibc calls with the program's arguments before main().
//
// A construction that throws would end the program before main() without a word; instead
// Corvane::Cs::ConstructionFailure ends it: a configuration that the station refuses to start
// with (Corvane::StartUpRefusal) prints exactly its own text with its exit status, any other
// exception its reason on stderr with exit status 1.
#include "Tessarel.h"

#include <Corvane/Cs/ConstructionFailure.h>

#include <exception>
#include <string_view>

namespace {

  // A function-local static: its destructor is registered when its construction ends, so the
  // station is torn down before the framework's statics that its construction first used.
  void buildStationOnce() { static Tessarel station("tessarel"); }

  bool asksForHelp(int argc, char** argv) {
    for(int i = 1; i < argc && argv[i]; ++i) {
      std::string_view argument = argv[i];
      if(argument == "--help" || argument == "-h") return true;
    }
    return false;
  }

  __attribute__((constructor)) void buildStation(int argc, char** argv, char**) {
    if(asksForHelp(argc, argv)) return;
    try {
      buildStationOnce();
    }
    catch(...) {
      Corvane::Cs::ConstructionFailure::endProcess(std::current_exception());
    }
  }

} // namespace
