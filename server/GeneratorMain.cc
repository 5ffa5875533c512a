// The generator: writes the station's variable list ("tessarel.xml") and module graph
// ("tessarel.dot") into the working directory and ends.
//
// "--help" (or "-h") prints the usage and writes nothing; any other argument is refused with the
// usage. An error while the files are made (a wiring conflict in the device map, a file that
// cannot be written) goes to stderr and the program exits with status 1, as the server does.
#include <Corvane/Application.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <string>

namespace {

  void printUsage(std::FILE* stream) {
    std::fprintf(stream,
        "Usage: %s [--help]\n"
        "Writes the station's variable list (tessarel.xml) and module graph (tessarel.dot) into the\n"
        "working directory, built from tessarel_base_config.xml and tessarel.dmap there, and ends.\n"
        "  --help   print this and exit\n"
        "Exit status: 0 when both files were written, 1 on an error (the message says which file).\n",
        program_invocation_short_name);
  }

  int fail(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, message.c_str());
    return 1;
  }

} // namespace

int main(int argc, char** argv) {
  for(int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if(argument == "--help" || argument == "-h") {
      printUsage(stdout);
      return 0;
    }
    std::fprintf(stderr, "%s: unknown argument \"%s\"\n", program_invocation_short_name, argument.c_str());
    printUsage(stderr);
    return 1;
  }
  if(!Corvane::Application::hasInstance()) return fail("the program defines no application object");
  try {
    Corvane::Application::getInstance().generateXML();
    Corvane::Application::getInstance().generateDOT();
  }
  catch(std::exception& e) {
    return fail(e.what());
  }
  return 0;
}
