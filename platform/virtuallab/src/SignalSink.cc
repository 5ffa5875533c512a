#include "Corvane/VirtualLab/SignalSink.h"

#include <Corvane/Exception.h>

#include <string>

namespace Corvane::VirtualLab {

  void SignalSink::connect(std::shared_ptr<SignalSource> source) {
    _source = std::move(source);
    if(_source) _source->requireHistoryLength(_maxHistoryLength);
  }

  void SignalSink::setMaxHistoryLength(Picoseconds length) {
    if(length < 0) throw Corvane::logic_error("SignalSink: negative history length " + std::to_string(length));
    _maxHistoryLength = length;
    if(_source) _source->requireHistoryLength(length);
  }

} // namespace Corvane::VirtualLab
