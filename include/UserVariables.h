// Operator variables that the server only keeps for the control system: texts on the station's
// location and messages, and the RF model data of the station. Nothing in the application reads
// them; the control system feeds and serves them.
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/ArrayAccessor.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

#include <string>

class UserVariables : public Corvane::ApplicationModule {
 public:
  using Corvane::ApplicationModule::ApplicationModule;
  ~UserVariables() override;

  /// Returns at once: the module only declares its variables.
  void mainLoop() override;

  struct : Corvane::VariableGroup {
    using Corvane::VariableGroup::VariableGroup;
    Corvane::ScalarPollInput<std::string> USER_MESSAGE{this, "USER_MESSAGE", "", ""};
    Corvane::ScalarPollInput<std::string> LOC_KLYSTRON{this, "LOC_KLYSTRON", "", ""};
    Corvane::ScalarPollInput<std::string> LOC_MPS{this, "LOC_MPS", "", ""};
    Corvane::ScalarPollInput<std::string> LOC_MOD{this, "LOC_MOD", "", ""};
    Corvane::ScalarPollInput<std::string> LOC_RACK{this, "LOC_RACK", "", ""};
  } main{this, "Main", ""};

  struct : Corvane::VariableGroup {
    using Corvane::VariableGroup::VariableGroup;
    Corvane::ScalarPollInput<float> OL_A_SIZE{this, "OL_A_SIZE", "", ""};
    Corvane::ScalarPollInput<float> OL_B_C_SIZE{this, "OL_B_C_SIZE", "", ""};
    Corvane::ArrayPollInput<float> MODEL_OL_A{this, "MODEL_OL_A", "", 512, ""};
    Corvane::ArrayPollInput<float> MODEL_OL_B{this, "MODEL_OL_B", "", 512, ""};
    Corvane::ArrayPollInput<float> MODEL_OL_C{this, "MODEL_OL_C", "", 512, ""};
    Corvane::ScalarPollInput<float> CL_A_SIZE{this, "CL_A_SIZE", "", ""};
    Corvane::ScalarPollInput<float> CL_B_C_SIZE{this, "CL_B_C_SIZE", "", ""};
    Corvane::ArrayPollInput<float> MODEL_CL_A{this, "MODEL_CL_A", "", 512, ""};
    Corvane::ArrayPollInput<float> MODEL_CL_B{this, "MODEL_CL_B", "", 512, ""};
    Corvane::ArrayPollInput<float> MODEL_CL_C{this, "MODEL_CL_C", "", 512, ""};
  } rfInfo{this, "RfInfo", ""};
};
