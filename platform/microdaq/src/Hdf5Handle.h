// Owns one HDF5 identifier (file, group, dataset, dataspace, type, attribute, property list)
// and closes it when it goes out of scope, also on the way out of an exception.
#pragma once

#include <hdf5.h>

#include <string>

namespace Corvane {

  class Hdf5Handle {
   public:
    using Closer = herr_t (*)(hid_t);

    Hdf5Handle() = default;
    /// Takes `id` as returned by the library; throws runtime_error naming `what` and the
    /// library's cause when it is negative (the call failed).
    Hdf5Handle(hid_t id, Closer closer, const std::string& what);
    ~Hdf5Handle() { reset(); }
    Hdf5Handle(Hdf5Handle&& other) noexcept : _id(other._id), _closer(other._closer) { other._id = H5I_INVALID_HID; }
    Hdf5Handle& operator=(Hdf5Handle&& other) noexcept;
    Hdf5Handle(const Hdf5Handle&) = delete;
    Hdf5Handle& operator=(const Hdf5Handle&) = delete;

    hid_t get() const { return _id; }
    operator hid_t() const { return _id; }
    bool valid() const { return _id >= 0; }

    /// Closes now and reports failure (e.g. a file whose last data could not be written);
    /// throws runtime_error naming `what`.
    void close(const std::string& what);

   private:
    /// Closes and ignores errors (destructor and move).
    void reset() noexcept;

    hid_t _id{H5I_INVALID_HID};
    Closer _closer{nullptr};
  };

} // namespace Corvane
