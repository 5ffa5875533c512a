// Entry point of a control-system server program: runs the program's one application (a
// static object the program defines) and serves its process variables. See ServerMain.h.
#include <Corvane/Cs/ServerMain.h>

int main(int argc, char** argv) { return Corvane::Cs::serverMain(argc, argv); }
