#include "Corvane/StartUpRefusal.h"

#include <cstdlib>
#include <iostream>

namespace Corvane {

  StartUpRefusal::StartUpRefusal(std::vector<std::string> lines, Stream stream, int exitStatus)
  : _lines(std::move(lines)), _stream(stream), _exitStatus(exitStatus) {
    for(std::size_t i = 0; i < _lines.size(); ++i) _text += (i == 0 ? "" : "\n") + _lines[i];
  }

  void StartUpRefusal::endProcess() const {
    auto& out = _stream == Stream::standardOutput ? std::cout : std::cerr;
    for(const auto& line : _lines) out << line << std::endl;
    std::exit(_exitStatus);
  }

} // namespace Corvane
