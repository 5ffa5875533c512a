// Collects the source lines of the consistency checks a table computation reports as failed.
#pragma once

#include "TableGeneration/PulseIndices.h"

#include <vector>

namespace tablegenerationtest {

  struct Reports {
    std::vector<int> lines;
    TableGeneration::ConsistencyReport callback() {
      return [this](const char*, int line) { lines.push_back(line); };
    }
  };

} // namespace tablegenerationtest
