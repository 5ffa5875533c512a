// The set of variables a MicroDAQ records and where each one goes inside a trigger's group of
// the HDF5 file: the stored name "A/B/x" becomes the groups "A" and "A/B" and the dataset "x".
// A stored name that is also the directory of another one ("A/B" beside "A/B/x") keeps its
// value in the dataset "#value" inside that group; '#' never occurs in variable names.
#pragma once

#include "Corvane/Types.h"

#include <cstddef>
#include <string>
#include <vector>

namespace Corvane {

  struct DaqVariable {
    /// Absolute path of the process variable.
    std::string path;
    /// Name in the file, relative to the trigger's group ("A/B/x").
    std::string storedName;
    DataType type{DataType::int32};
    std::size_t nElements{1};
  };

  class DaqLayout {
   public:
    struct Group {
      /// Index of the parent group in groups(), or -1 for the trigger's group.
      int parent{-1};
      std::string name;
    };

    /// Throws logic_error for an empty stored name or one used twice.
    explicit DaqLayout(std::vector<DaqVariable> variables);

    const std::vector<DaqVariable>& variables() const { return _variables; }
    /// Every group below a trigger's group, each after its parent.
    const std::vector<Group>& groups() const { return _groups; }
    /// Group that holds variable i's dataset (index into groups(), -1: the trigger's group).
    int groupOf(std::size_t i) const { return _groupOf[i]; }
    const std::string& datasetName(std::size_t i) const { return _datasetName[i]; }

    /// Name of the dataset of a variable whose stored name is also a group.
    static constexpr const char* valueInGroupName = "#value";

   private:
    std::vector<DaqVariable> _variables;
    std::vector<Group> _groups;
    std::vector<int> _groupOf;
    std::vector<std::string> _datasetName;
  };

} // namespace Corvane
