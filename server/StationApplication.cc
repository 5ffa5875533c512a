// The program's one application: the station server "tessarel", built before main() runs. Its
// configuration and device map are "tessarel_base_config.xml" and "tessarel.dmap" in the
// working directory.
//
// A command line that asks for help ("--help" or "-h" anywhere) builds no station: main() then
// prints the usage, also in a directory without a station's files. The station is built by an
// initialisation function, which glibc calls with the program's arguments before main().
//
// A construction that throws would end the program before main() without a word; instead the
// reason goes to stderr and the program exits with status 1. A configuration that the station
// refuses to start with (Corvane::StartUpRefusal) prints exactly its own text and exit status.
#include "Tessarel.h"

#include <Corvane/StartUpRefusal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

  [[noreturn]] void reportConstructionFailure(const char* what) {
    std::fprintf(stderr, "%s: the application could not be constructed: %s\n", program_invocation_short_name, what);
    std::fflush(stderr);
    std::exit(1);
  }

  __attribute__((constructor)) void buildStation(int argc, char** argv, char**) {
    if(asksForHelp(argc, argv)) return;
    try {
      buildStationOnce();
    }
    catch(const Corvane::StartUpRefusal& refusal) {
      refusal.endProcess();
    }
    catch(std::exception& e) {
      reportConstructionFailure(e.what());
    }
    catch(...) {
      reportConstructionFailure("unknown exception");
    }
  }

} // namespace
