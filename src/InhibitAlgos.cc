#include "InhibitAlgos.h"

void InhibitAlgos::mainLoop() {
  while(true) {
    inhibitAlgos.setAndWrite((controllerStatus & ~bitmaskForInhibitAlgos) != 0 ? 1 : 0);
    readAll();
  }
}
