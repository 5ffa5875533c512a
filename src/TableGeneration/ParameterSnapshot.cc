#include "TableGeneration/ParameterSnapshot.h"

#include <Corvane/Exception.h>
#include <Corvane/Types.h>
#include <Corvane/detail/Nodes.h>

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace TableGeneration {

  namespace {

    /// The typed value of an input, which lives in its accessor.
    template<class T>
    const std::vector<T>& valueOf(const Corvane::VariableNetworkNode& input) {
      return static_cast<const Corvane::detail::TypedAccessorNode<T>&>(*input.accessorNode()).readable();
    }

  } // namespace

  ParameterSnapshot::ParameterSnapshot(const std::vector<Corvane::VariableNetworkNode>& inputs) {
    _entries.reserve(inputs.size());
    for(const auto& input : inputs) {
      const auto type = input.getValueType();
      if(type == Corvane::DataType::nodata) {
        throw Corvane::logic_error("Parameter input without a value: " + input.getPath());
      }
      const auto n = input.getNumberOfElements();
      if(type == Corvane::DataType::string) {
        _entries.push_back({input, _texts.size(), n, true});
        _texts.resize(_texts.size() + n);
        continue;
      }
      const auto size = Corvane::callForType(type, [n](auto sample) { return n * sizeof(sample); });
      _entries.push_back({input, _bytes.size(), size, false});
      _bytes.resize(_bytes.size() + size);
    }
    update();
  }

  const std::byte* ParameterSnapshot::bytesOf(const Corvane::VariableNetworkNode& input) {
    return Corvane::callForType(input.getValueType(), [&input](auto sample) -> const std::byte* {
      using T = decltype(sample);
      if constexpr(std::is_trivially_copyable_v<T> && !std::is_same_v<T, Corvane::Void>) {
        return reinterpret_cast<const std::byte*>(valueOf<T>(input).data());
      } else {
        throw Corvane::logic_error("Not a numeric parameter input: " + input.getPath());
      }
    });
  }

  const std::vector<std::string>& ParameterSnapshot::textsOf(const Corvane::VariableNetworkNode& input) {
    return valueOf<std::string>(input);
  }

  bool ParameterSnapshot::holds(const Entry& e) const {
    if(e.isText) {
      const auto& now = textsOf(e.input);
      return std::equal(now.begin(), now.end(), _texts.begin() + static_cast<std::ptrdiff_t>(e.offset));
    }
    return std::memcmp(bytesOf(e.input), _bytes.data() + e.offset, e.size) == 0;
  }

  bool ParameterSnapshot::update() {
    bool changed = false;
    for(const auto& e : _entries) {
      if(holds(e)) continue;
      if(e.isText) {
        const auto& now = textsOf(e.input);
        std::copy(now.begin(), now.end(), _texts.begin() + static_cast<std::ptrdiff_t>(e.offset));
      } else {
        std::memcpy(_bytes.data() + e.offset, bytesOf(e.input), e.size);
      }
      changed = true;
    }
    return changed;
  }

  bool ParameterSnapshot::unchanged(const Corvane::TransferElementID& input) const {
    const auto e =
        std::ranges::find_if(_entries, [&input](const Entry& entry) { return entry.input.getId() == input; });
    return e == _entries.end() || holds(*e);
  }

} // namespace TableGeneration
