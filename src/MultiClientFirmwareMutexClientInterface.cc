#include "MultiClientFirmwareMutex.h"

#include <Corvane/Assert.h>
#include <Corvane/Utilities.h>

MultiClientFirmwareMutex::ClientInterface::ClientInterface(Corvane::VariableGroup* owner, const std::string& mutexName)
: Corvane::VariableGroup(owner, generateUniqueName(owner, mutexName),
      "Firmware mutex client interface for " + mutexName + ", client " + (owner ? owner->getName() : std::string{})) {}

std::string MultiClientFirmwareMutex::ClientInterface::generateUniqueName(
    Corvane::VariableGroup* owner, const std::string& mutexName) {
  // The owner's whole qualified name as one component: unique per client module, and the group lands directly
  // below the mutex's path.
  std::string qualifiedName = owner ? owner->getQualifiedName() : std::string{};
  return mutexName + "/" + Corvane::Utilities::escapeName(qualifiedName, false);
}

void MultiClientFirmwareMutex::ClientInterface::prepare() { _inhibit.write(); }

void MultiClientFirmwareMutex::ClientInterface::lock() {
  CORVANE_ASSERT(!_inhibit);
  request(true);
  CORVANE_ASSERT(_acknowledged);
}

void MultiClientFirmwareMutex::ClientInterface::unlock() {
  CORVANE_ASSERT(_inhibit);
  request(false);
  CORVANE_ASSERT(!_acknowledged);
}

void MultiClientFirmwareMutex::ClientInterface::request(bool inhibit) {
  drainAcknowledgements();
  _inhibit = inhibit;
  try {
    _inhibit.write();
  }
  catch(...) {
    // Nothing was sent. Locally released either way: should the mutex still count this client, its next
    // lock() is ignored as a repeat and the following unlock() releases the board.
    _inhibit = false;
    throw;
  }
  ++_unreadAcknowledgements;
  try {
    _acknowledged.read();
    --_unreadAcknowledgements;
  }
  catch(...) {
    if(inhibit) {
      // The request is out and the mutex will lock the board for it: release at once (best effort, the
      // original exception is what the caller must see). The acknowledgements of both requests are read
      // before the next request.
      _inhibit = false;
      try {
        _inhibit.write();
        ++_unreadAcknowledgements;
      }
      catch(...) {
      }
    }
    throw;
  }
}

void MultiClientFirmwareMutex::ClientInterface::drainAcknowledgements() {
  while(_unreadAcknowledgements > 0) {
    _acknowledged.read();
    --_unreadAcknowledgements;
  }
}
