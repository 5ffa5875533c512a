// The program's one application: the station server "tessarel", a static object built before
// main() runs. Its configuration and device map are "tessarel_base_config.xml" and
// "tessarel.dmap" in the working directory.
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

namespace {

  struct StationApplication {
    StationApplication() try : tessarel("tessarel") {
    }
    catch(const Corvane::StartUpRefusal& refusal) {
      refusal.endProcess();
    }
    catch(std::exception& e) {
      std::fprintf(stderr, "%s: the application could not be constructed: %s\n", program_invocation_short_name, e.what());
      std::exit(1);
    }
    catch(...) {
      std::fprintf(stderr, "%s: the application could not be constructed: unknown exception\n",
          program_invocation_short_name);
      std::exit(1);
    }

    Tessarel tessarel;
  };

  StationApplication station;

} // namespace
