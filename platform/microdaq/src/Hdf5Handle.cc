#include "Hdf5Handle.h"

#include "Hdf5ErrorStack.h"

#include "Corvane/Exception.h"

namespace Corvane {

  Hdf5Handle::Hdf5Handle(hid_t id, Closer closer, const std::string& what) : _id(id), _closer(closer) {
    if(_id < 0) throw runtime_error(Hdf5ErrorStack::describe(what));
  }

  Hdf5Handle& Hdf5Handle::operator=(Hdf5Handle&& other) noexcept {
    if(this != &other) {
      reset();
      _id = other._id;
      _closer = other._closer;
      other._id = H5I_INVALID_HID;
    }
    return *this;
  }

  void Hdf5Handle::close(const std::string& what) {
    if(_id < 0) return;
    hid_t id = _id;
    _id = H5I_INVALID_HID;
    Hdf5ErrorStack::check(_closer(id), what);
  }

  void Hdf5Handle::reset() noexcept {
    if(_id < 0) return;
    Hdf5ErrorStack silence;
    _closer(_id);
    H5Eclear2(H5E_DEFAULT);
    _id = H5I_INVALID_HID;
  }

} // namespace Corvane
