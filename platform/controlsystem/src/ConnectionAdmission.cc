#include "Corvane/Cs/ConnectionAdmission.h"

#include "Corvane/Cs/ServerOptions.h"

#include <algorithm>
#include <utility>

namespace Corvane::Cs {

  ConnectionAdmission::Limits ConnectionAdmission::limitsOf(const ServerOptions& options) {
    Limits limits;
    limits.maxConnections = options.maxConnections;
    limits.reservedConnections = std::min(options.reservedConnections, options.maxConnections);
    limits.maxConnectionsPerAddress = options.maxConnectionsPerAddress;
    limits.tokenRequired = !options.token.empty();
    return limits;
  }

  ConnectionAdmission::Decision ConnectionAdmission::admit(const std::string& address, bool loopback) {
    if(loopback) {
      if(_served >= _limits.maxConnections) return {Verdict::serverFull, {}};
      ++_served;
      return {Verdict::admitted, Slot(*this, {}, false)};
    }
    auto& ofAddress = _perAddress[address];
    bool addressFull = ofAddress >= _limits.maxConnectionsPerAddress;
    bool sharedFull = _served >= _limits.maxConnections - _limits.reservedConnections;
    auto refusal = addressFull ? Verdict::addressFull : Verdict::serverFull;
    Decision decision{Verdict::admitted, {}};
    if(!addressFull && !sharedFull) {
      ++_served;
    }
    else if(_limits.tokenRequired && _onProbation < _limits.reservedConnections) {
      ++_onProbation;
      decision.verdict = Verdict::onProbation;
      decision.unlessToken = refusal;
    }
    else {
      if(ofAddress == 0) _perAddress.erase(address);
      return {refusal, {}};
    }
    ++ofAddress;
    decision.slot = Slot(*this, address, decision.verdict == Verdict::onProbation);
    return decision;
  }

  bool ConnectionAdmission::confirm() {
    if(_served >= _limits.maxConnections) return false;
    --_onProbation;
    ++_served;
    return true;
  }

  void ConnectionAdmission::release(const std::string& address, bool onProbation) {
    --(onProbation ? _onProbation : _served);
    if(address.empty()) return;
    auto it = _perAddress.find(address);
    if(it != _perAddress.end() && --it->second == 0) _perAddress.erase(it);
  }

  std::size_t ConnectionAdmission::fromAddress(const std::string& address) const {
    auto it = _perAddress.find(address);
    return it == _perAddress.end() ? 0 : it->second;
  }

  ConnectionAdmission::Slot::Slot(Slot&& other) noexcept
  : _admission(std::exchange(other._admission, nullptr)), _address(std::move(other._address)),
    _onProbation(other._onProbation) {}

  ConnectionAdmission::Slot& ConnectionAdmission::Slot::operator=(Slot&& other) noexcept {
    if(this != &other) {
      release();
      _admission = std::exchange(other._admission, nullptr);
      _address = std::move(other._address);
      _onProbation = other._onProbation;
    }
    return *this;
  }

  bool ConnectionAdmission::Slot::confirm() {
    if(!_admission || !_onProbation) return _admission != nullptr;
    if(!_admission->confirm()) return false;
    _onProbation = false;
    return true;
  }

  void ConnectionAdmission::Slot::release() {
    if(!_admission) return;
    std::exchange(_admission, nullptr)->release(_address, _onProbation);
  }

} // namespace Corvane::Cs
