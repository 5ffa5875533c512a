#include "Corvane/DaqInput.h"

#include "Corvane/ArrayAccessor.h"
#include "Corvane/Conversion.h"
#include "Corvane/Exception.h"

namespace Corvane {

  namespace {

    template<class T>
    class TypedDaqInput final : public DaqInput {
     public:
      TypedDaqInput(Module* owner, const std::string& name, std::size_t nElements, UpdateMode mode,
          const std::string& description)
      : _accessor(owner, name, VariableDirection{VariableDirection::consuming, false}, "", nElements, mode, description) {
        // captured by copying into the record: the value itself need not be copied first
        _accessor.shareReceivedValues();
      }

      void capture(DaqValue& out, std::size_t threshold, std::uint32_t factor) const override {
        if constexpr(std::is_same_v<T, Void>) {
          out.data = std::vector<std::uint8_t>{};
          out.decimation = 1;
        }
        else {
          const std::vector<T>& source = _accessor.value();
          std::size_t step = factor > 1 && source.size() > threshold ? factor : 1;
          // reuse the vector of an earlier record when the slot already holds one of this type
          auto* target = std::get_if<std::vector<T>>(&out.data);
          if(!target) target = &out.data.template emplace<std::vector<T>>();
          if(step == 1) {
            target->assign(source.begin(), source.end());
          }
          else {
            target->clear();
            target->reserve((source.size() + step - 1) / step);
            for(std::size_t i = 0; i < source.size(); i += step) target->push_back(source[i]);
          }
          out.decimation = static_cast<std::uint32_t>(step);
        }
        out.validity = _accessor.dataValidity();
        out.version = _accessor.getVersionNumber();
      }

      std::int64_t number() const override {
        if constexpr(std::is_same_v<T, Void> || std::is_same_v<T, std::string>) {
          return 0;
        }
        else {
          if(_accessor.size() == 0) return 0;
          bool faulty = false;
          return convertValue<std::int64_t>(_accessor[0], faulty);
        }
      }

      void read() override { _accessor.read(); }
      TransferElementID getId() const override { return _accessor.getId(); }
      VersionNumber getVersionNumber() const override { return _accessor.getVersionNumber(); }
      DataValidity dataValidity() const override { return _accessor.dataValidity(); }

     private:
      ArrayAccessor<T> _accessor;
    };

  } // namespace

  std::unique_ptr<DaqInput> DaqInput::make(Module* owner, const std::string& name, DataType type,
      std::size_t nElements, UpdateMode mode, const std::string& description) {
    return callForType(type, [&](auto sample) -> std::unique_ptr<DaqInput> {
      using T = decltype(sample);
      return std::make_unique<TypedDaqInput<T>>(owner, name, nElements, mode, description);
    });
  }

} // namespace Corvane
