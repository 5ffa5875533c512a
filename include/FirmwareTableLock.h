// The firmware table lock held for one table update, as a scope: the constructor takes the lock through the
// writer's client interface (returning once the mutex has acknowledged), release() gives it back on the normal
// path, and the destructor gives it back on every other path, an exception thrown while the lock was held
// included. So a writer can never leave its board's table swapping inhibited.
//
// Used by the writer module's own thread only, like the client interface it wraps.
#pragma once

#include "MultiClientFirmwareMutex.h"

class FirmwareTableLock {
 public:
  explicit FirmwareTableLock(MultiClientFirmwareMutex::ClientInterface& client);
  /// Releases the lock when release() has not; errors of that release are dropped, so that an exception in
  /// flight is the one the caller sees.
  ~FirmwareTableLock();
  FirmwareTableLock(const FirmwareTableLock&) = delete;
  FirmwareTableLock& operator=(const FirmwareTableLock&) = delete;

  /// Releases the lock now; exceptions of the release (shutdown) pass through. Once only.
  void release();

 private:
  MultiClientFirmwareMutex::ClientInterface& _client;
  bool _held{true};
};
