#include "MultiClientFirmwareMutex.h"

#include <Corvane/Assert.h>
#include <Corvane/Exception.h>
#include <Corvane/Model.h>
#include <Corvane/ReadAnyGroup.h>
#include <Corvane/Time.h>
#include <Corvane/Utilities.h>

#include <chrono>
#include <unordered_map>

namespace {

  using Severity = Corvane::Logger::Severity;

  // The firmware's read-back is polled at this interval; at the warning try "state" is written once more, at
  // the bail-out try the wait ends unconfirmed.
  constexpr std::chrono::microseconds pollInterval{10};
  constexpr std::chrono::milliseconds faultyBoardPollInterval{1};
  constexpr unsigned warningTry = 1000;
  constexpr unsigned bailOutTry = 2000;

  int asDigit(bool value) { return value ? 1 : 0; }

} // namespace

MultiClientFirmwareMutex::ClientInterfacePrivate::ClientInterfacePrivate(
    Corvane::Module* owner, const std::string& path, const std::string& description)
: Corvane::VariableGroup(owner, path, description) {}

MultiClientFirmwareMutex::MultiClientFirmwareMutex(Corvane::ModuleGroup* owner, const std::string& name,
    const std::string& description, const std::unordered_set<std::string>& tags)
: Corvane::ApplicationModule(owner, name, description, tags) {
  // The clients' interface groups lie below this module's own path (their "inhibit" carries the tag); each
  // one gets its counterpart at the same path, so the network pairs the variables.
  std::vector<std::string> clientPaths;
  Corvane::Model::DepthFirstSearch search(Corvane::Model::directoryOf(*this), Corvane::Model::keepTag(clientTag));
  for(const auto& variable : search.processVariables()) {
    clientPaths.push_back(Corvane::Utilities::getPathName(variable.getFullyQualifiedPath()));
  }
  // a mutex of a group taken out of the application (its clients with it) takes no part and needs none
  if(clientPaths.empty() && !isDisabled()) {
    throw Corvane::logic_error("MultiClientFirmwareMutex " + name + ": no client interfaces found!");
  }
  clients.reserve(clientPaths.size());
  for(const auto& path : clientPaths) clients.emplace_back(this, path, "");
}

void MultiClientFirmwareMutex::prepare() {
  for(auto& client : clients) client.acknowledged.write();
  _mutexState = true;
  _mutexState.write();
  _confirmationStatus.writeOk();
  _errorMessage = "";
  _errorMessage.write();
}

void MultiClientFirmwareMutex::mainLoop() {
  Corvane::ReadAnyGroup group;
  std::unordered_map<Corvane::TransferElementID, ClientInterfacePrivate*> clientById;
  for(auto& client : clients) {
    group.add(client.inhibit);
    clientById.emplace(client.inhibit.getId(), &client);
  }
  while(true) {
    auto id = group.readAny();
    handleRequest(*clientById.at(id));
  }
}

void MultiClientFirmwareMutex::handleRequest(ClientInterfacePrivate& client) {
  const bool request = client.inhibit;
  if(request == client.holds) {
    // Only a client that breaks the protocol of its interface gets here; counting the request would leave the
    // firmware locked for ever (or release it under another holder).
    logger(Severity::warning, logSource) << "MultiClientFirmwareMutex " << getName() << ": client " << client.getName()
                                         << (request ? " requested the lock while holding it"
                                                     : " released the lock without holding it")
                                         << "; ignored";
  }
  else if(request) {
    client.holds = true;
    ++holderCount;
    if(holderCount == 1) {
      CORVANE_ASSERT(_mutexState);
      changeFirmwareState(false);
    }
  }
  else {
    client.holds = false;
    --holderCount;
    if(holderCount == 0) {
      CORVANE_ASSERT(!_mutexState);
      changeFirmwareState(true);
    }
  }
  client.acknowledged = request;
  client.acknowledged.write();
}

void MultiClientFirmwareMutex::changeFirmwareState(bool released) {
  _mutexState = released;
  _mutexState.write();
  bool confirmed = waitForConfirmation();
  if(!confirmed) reportUnconfirmed(released);
  // a confirmed lock shows that the firmware follows again
  if(confirmed && !released) clearUnconfirmed();
}

bool MultiClientFirmwareMutex::waitForConfirmation() {
  unsigned tries = 1;
  while(true) {
    Corvane::sleepFor(pollInterval);
    actualState.read();
    if(actualState.dataValidity() == Corvane::DataValidity::faulty) {
      // the board is not reachable (opening, or recovering from a fault): that is no firmware
      // time-out; the request is written again by the recovery, so wait without counting, for as
      // long as it takes (shutdown ends the sleep at once)
      reportWaitingForBoard();
      Corvane::sleepFor(faultyBoardPollInterval);
      continue;
    }
    clearWaitingForBoard();
    if(bool(actualState) == bool(_mutexState)) return true;
    ++tries;
    if(tries == warningTry) {
      logger(Severity::warning, logSource) << "Timeout acquiring MultiClientFirmwareMutex " << getName() << "!\n"
                                           << asDigit(actualState) << " != " << asDigit(_mutexState) << "\n"
                                           << describeLockRegister() << "\n";
      _mutexState.write();
    }
    else if(tries == bailOutTry) {
      logger(Severity::warning, logSource) << "Bailing out...";
      return false;
    }
  }
}

std::string MultiClientFirmwareMutex::describeLockRegister() const {
  return "(writes " + _mutexState.getName() + ", reads back " + actualState.describeFeeder() + ")";
}

void MultiClientFirmwareMutex::reportWaitingForBoard() {
  if(_waitingForBoard) return;
  _waitingForBoard = true;
  _confirmationStatus.write(Corvane::StatusOutput::WARNING,
      "Table writers of MultiClientFirmwareMutex " + getName() + " wait for their board, which is not reachable" +
          " (read-back from " + actualState.describeFeeder() + ")");
}

void MultiClientFirmwareMutex::clearWaitingForBoard() {
  if(!_waitingForBoard) return;
  _waitingForBoard = false;
  // back to what the status showed before the board went away
  if(_unconfirmed)
    _confirmationStatus.write(Corvane::StatusOutput::WARNING, _unconfirmedText);
  else
    _confirmationStatus.writeOk();
}

void MultiClientFirmwareMutex::reportUnconfirmed(bool released) {
  std::string text = "Firmware did not confirm the " + std::string(released ? "release" : "lock") +
                     " of MultiClientFirmwareMutex " + getName() + " (read-back " +
                     std::to_string(asDigit(actualState)) + " != " + std::to_string(asDigit(_mutexState)) +
                     "); table writers continue unconfirmed";
  _confirmationStatus.write(Corvane::StatusOutput::WARNING, text);
  _errorMessage = text;
  _errorMessage.write();
  _unconfirmed = true;
  _unconfirmedText = text;
}

void MultiClientFirmwareMutex::clearUnconfirmed() {
  if(!_unconfirmed) return;
  _confirmationStatus.writeOk();
  _errorMessage = "";
  _errorMessage.write();
  _unconfirmed = false;
  _unconfirmedText.clear();
}
