// The entry point of a control-system server program (main() in corvane-cs-main calls it).
//
// The program defines its one application as a static object, e.g.
//   static Tessarel tessarel("tessarel");
// serverMain() takes it through Corvane::Application::getInstance(), initialises it, binds the
// server, restores the persisted settings, runs the application and serves it until SIGINT or
// SIGTERM or a module failure, then stops the server, shuts the application down and saves the
// settings a last time.
//
// The application is shut down before it is destroyed on every path out of the program: serverMain()
// shuts it down before it returns, and an exit hook registered once the application exists shuts
// it down when std::exit ends the program meanwhile (exit hooks registered after a static object
// was built run before its destructor), so the application class needs no destructor for it.
//
// Exit status: 0 after a clean shutdown; 1 when the command line is wrong, start-up fails (the
// reason is printed to stderr), or a module failed while running (its message is printed).
//
// A static application whose constructor throws: the exception would end the program before
// main() without a word. corvane-cs-main, the shared library that holds main(), is initialised
// before the program's own static objects and keeps a terminate handler in place until main()
// starts that ends the program through ConstructionFailure: the exception's message on stderr
// and exit status 1, or a StartUpRefusal's own text and exit status.
#pragma once

namespace Corvane::Cs {

  int serverMain(int argc, char** argv);

} // namespace Corvane::Cs
