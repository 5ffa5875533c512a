#include "BoardSetup.h"

#include <Corvane/DummyRegisterAccessor.h>
#include <Corvane/Exception.h>
#include <Corvane/TextFile.h>

#include <charconv>
#include <cmath>
#include <sstream>

namespace {
  bool parseFinite(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    auto [rest, error] = std::from_chars(text.data(), end, value);
    return error == std::errc{} && rest == end && std::isfinite(value);
  }
} // namespace

BoardSetup BoardSetup::load(const std::string& fileName) {
  BoardSetup setup;
  setup._fileName = fileName;
  std::istringstream text(Corvane::TextFile::read(fileName, "board set-up file"));
  std::size_t lineNumber = 0;
  for(std::string line; std::getline(text, line);) {
    ++lineNumber;
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    Entry entry;
    entry.line = lineNumber;
    if(!(words >> entry.registerName)) continue;
    for(std::string word; words >> word;) {
      double value = 0.0;
      if(!parseFinite(word, value)) {
        throw Corvane::logic_error("Board set-up file " + fileName + ":" + std::to_string(lineNumber) + ": \"" + word +
            "\" is not a finite number");
      }
      entry.values.push_back(value);
    }
    if(entry.values.empty()) {
      throw Corvane::logic_error("Board set-up file " + fileName + ":" + std::to_string(lineNumber) + ": register " +
          entry.registerName + " without values");
    }
    setup._entries.push_back(std::move(entry));
  }
  return setup;
}

void BoardSetup::applyTo(Corvane::DummyBackend& board) const {
  for(const Entry& entry : _entries) {
    const std::string where = "Board set-up file " + _fileName + ":" + std::to_string(entry.line) + ": ";
    if(!board.getRegisterMap().hasRegister(entry.registerName)) {
      throw Corvane::logic_error(where + "the board's register map has no register " + entry.registerName);
    }
    Corvane::DummyRegisterAccessor<double> accessor(board, entry.registerName);
    if(entry.values.size() > accessor.size()) {
      throw Corvane::logic_error(where + std::to_string(entry.values.size()) + " values do not fit register " +
          entry.registerName + " of " + std::to_string(accessor.size()) + " elements");
    }
    accessor.setAll(entry.values);
  }
}
