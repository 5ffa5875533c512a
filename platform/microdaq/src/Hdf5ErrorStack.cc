#include "Hdf5ErrorStack.h"

#include "Corvane/Exception.h"

#include <vector>

namespace Corvane {

  Hdf5ErrorStack::Hdf5ErrorStack() {
    H5Eget_auto2(H5E_DEFAULT, &_function, &_data);
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  }

  Hdf5ErrorStack::~Hdf5ErrorStack() { H5Eset_auto2(H5E_DEFAULT, _function, _data); }

  std::string Hdf5ErrorStack::describe(const std::string& what) {
    std::vector<std::string> messages;
    H5Ewalk2(
        H5E_DEFAULT, H5E_WALK_DOWNWARD,
        [](unsigned, const H5E_error2_t* error, void* data) -> herr_t {
          if(error->desc && *error->desc) static_cast<std::vector<std::string>*>(data)->emplace_back(error->desc);
          return 0;
        },
        &messages);
    H5Eclear2(H5E_DEFAULT);
    std::string text = what;
    if(!messages.empty()) {
      // the outermost message says what failed, the innermost why: of a failed system call only
      // the system's own text, the rest of that message is a dump of the call's arguments
      text += ": " + messages.front();
      if(messages.size() > 1) {
        auto cause = messages.back();
        const std::string marker = "error message = '";
        auto start = cause.find(marker);
        if(start != std::string::npos) {
          start += marker.size();
          cause = cause.substr(start, cause.find('\'', start) - start);
        }
        for(auto& c : cause)
          if(c == '\n') c = ' ';
        text += " (" + cause + ")";
      }
    }
    return text;
  }

  void Hdf5ErrorStack::check(herr_t status, const std::string& what) {
    if(status < 0) throw runtime_error(describe(what));
  }

} // namespace Corvane
