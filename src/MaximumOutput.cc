#include "MaximumOutput.h"

void MaximumOutput::mainLoop() {
  while(true) {
    limitI = maximumOutput.value();
    limitQ = maximumOutput.value();
    writeAll();
    maximumOutput.read();
  }
}
