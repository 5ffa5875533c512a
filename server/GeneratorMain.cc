// The generator: writes the station's variable list ("tessarel.xml") and module graph
// ("tessarel.dot") into the working directory and ends. Arguments are ignored.
#include <Corvane/Application.h>

int main() {
  Corvane::Application::getInstance().generateXML();
  Corvane::Application::getInstance().generateDOT();
  return 0;
}
