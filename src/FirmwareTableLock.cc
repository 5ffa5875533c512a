#include "FirmwareTableLock.h"

FirmwareTableLock::FirmwareTableLock(MultiClientFirmwareMutex::ClientInterface& client) : _client(client) {
  _client.lock();
}

FirmwareTableLock::~FirmwareTableLock() {
  if(!_held) return;
  try {
    _client.unlock();
  }
  catch(...) {
    // only shutdown interrupts the wait for the acknowledgement; the board is then left to its recovery
  }
}

void FirmwareTableLock::release() {
  _held = false;
  _client.unlock();
}
