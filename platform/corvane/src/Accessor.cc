// Transfers of one accessor: reads from its channel, writes into its variable.
#include "Corvane/Assert.h"
#include "Corvane/Exception.h"
#include "Corvane/detail/NetworkVariable.h"
#include "Corvane/detail/Nodes.h"

namespace Corvane::detail {

  bool AccessorNode::receivesPush() const {
    if(isFeeding()) return direction.withReturn;
    return mode == UpdateMode::push;
  }

  void AccessorNode::noteTaken(const VersionNumber& newVersion, DataValidity newValidity) {
    if(module) {
      if(receivesPush() && newVersion > module->currentVersion) module->currentVersion = newVersion;
      if(newValidity != validity) module->faultyInputs += newValidity == DataValidity::faulty ? 1 : -1;
    }
    version = newVersion;
    validity = newValidity;
    hasValue = true;
  }

  void AccessorNode::read() {
    if(!channel) return;
    if(!receivesPush()) {
      readLatest();
      return;
    }
    auto& inbox = channel->inbox();
    std::unique_lock lock(inbox.mutex);
    inbox.wait(lock, [&] { return channel->size() > 0; });
    takeLocked();
  }

  bool AccessorNode::readNonBlocking() {
    if(!channel) return false;
    if(!receivesPush()) return readLatest();
    std::lock_guard lock(channel->inbox().mutex);
    return takeLocked();
  }

  bool AccessorNode::readLatest() {
    if(!channel) return false;
    if(pull) pull();
    std::lock_guard lock(channel->inbox().mutex);
    bool any = false;
    while(takeLocked()) any = true;
    return any;
  }

  bool AccessorNode::write(bool destructive) {
    if(!variable) return false;
    if(!canSend) {
      breakOfContract("Variable " + variable->path + " cannot be written by its " + describe());
    }
    VersionNumber writeVersion = module && !module->currentVersion.isNull() ? module->currentVersion : VersionNumber{};
    DataValidity writeValidity = ownValidity;
    if(module && module->validity() == DataValidity::faulty) writeValidity = DataValidity::faulty;
    // set once only: an output that another thread writes later (a device's initialisation output)
    // is then only read by its module's thread when that thread ends
    if(!everWritten) everWritten = true;
    lastWrittenValidity = writeValidity;
    version = writeVersion;
    variable->send(participant, writableBuffer(), writeVersion, writeValidity, destructive);
    return false;
  }

} // namespace Corvane::detail

#include "Corvane/Module.h"
#include "Corvane/AccessorBase.h"
#include "Corvane/Utilities.h"

namespace Corvane::detail {

  void registerAccessor(AccessorNode& node, Module* owner) {
    if(!owner || !owner->entityNode()) return; // ownerless: takes part in nothing
    auto* ownerNode = owner->entityNode();
    if(ownerNode->kind != EntityKind::applicationModule && ownerNode->kind != EntityKind::variableGroup) {
      throw logic_error("Variable '" + node.name + "' cannot be owned by " + ownerNode->qualifiedName() +
          ": variables belong to application modules and variable groups");
    }
    std::string error;
    if(Utilities::resolvePath(ownerNode->directory(), node.name, error).empty()) {
      throw logic_error("Invalid variable name '" + node.name + "' in " + ownerNode->qualifiedName() + ": " + error);
    }
    node.attachTo(ownerNode);
  }

} // namespace Corvane::detail
