// A process-variable value together with its type: what crosses the transport and the control-system
// adapter, so that the type travels with the pointer and a change of a value's layout is found by the
// compiler, not by a cast that silently reads the wrong thing.
//
// ValueHandle<Ref> holds one Ref<T> (a raw or shared pointer) for one value type T of Types.h. type()
// names T; visit(f) calls f with the object the pointer refers to, as its concrete type (f is a generic
// lambda, instantiated for every value type; it returns the same type for all of them); get<T>() gives
// the typed pointer itself. Asking a handle for another type than it holds, or visiting an empty one,
// is a contract break (Corvane::logic_error that names both types and the caller's place).
//
// Who owns what depends on the Ref; the three handles in use:
//  - VectorRef points to a std::vector<T> that the caller owns; it is valid for one call. A receiver
//    copies from it, and swaps the buffer out only where the caller allows it ("mayTake", a
//    destructive write): then the caller gets a buffer of the same length back.
//  - SnapshotHandle shares a snapshot of a written value on its way to the channels that share
//    snapshots. Only the control system's channel, which gets it first, changes it (its sequence).
//  - SharedValue shares a published, immutable value (the control system's newest value of a variable).
//    Holding it keeps the value alive and never delays a writer, which publishes a new snapshot.
// A handle is as cheap to copy or move as the pointer it holds; it never copies the value. Like that
// pointer, one handle object is used by one thread at a time; copies may go to other threads.
#pragma once

#include "Corvane/Assert.h"
#include "Corvane/ControlSystemValue.h"
#include "Corvane/Types.h"

#include <memory>
#include <source_location>
#include <string>
#include <vector>

namespace Corvane {

  template<template<class> class Ref>
  class ValueHandle {
   public:
    /// An empty handle of no type (nodata).
    ValueHandle() : _ref(std::in_place_type<Ref<Void>>) {}

    /// A handle of T's type; empty when `ref` is null.
    template<class T>
    ValueHandle(Ref<T> ref) : _ref(std::in_place_type<Ref<T>>, std::move(ref)) {}

    DataType type() const { return static_cast<DataType>(_ref.index()); }

    /// True when the handle points to a value.
    explicit operator bool() const {
      return withRef([](const auto& ref) { return ref != nullptr; });
    }

    template<class T>
    bool holds() const {
      return type() == dataTypeOf<T>();
    }

    /// The typed pointer. T must be the handle's type.
    template<class T>
    const Ref<T>& get(std::source_location where = std::source_location::current()) const& {
      checkType<T>(where);
      return *std::get_if<Ref<T>>(&_ref);
    }
    template<class T>
    Ref<T> get(std::source_location where = std::source_location::current()) && {
      checkType<T>(where);
      return std::move(*std::get_if<Ref<T>>(&_ref));
    }

    /// Calls f with the value the handle points to, as its concrete type. The handle must not be empty.
    template<class F>
    decltype(auto) visit(F&& f, std::source_location where = std::source_location::current()) const {
      return withRef([&](const auto& ref) -> decltype(auto) {
        if(!ref) breakOfContract("An empty value handle of type " + std::string(dataTypeName(type())) + " was visited",
            where);
        return f(*ref);
      });
    }

    /// Lets go of the value; the handle keeps its type.
    void reset() {
      withRef([](auto& ref) { ref = nullptr; });
    }

   private:
    template<class T>
    void checkType(const std::source_location& where) const {
      if(!holds<T>()) {
        breakOfContract("A value handle of type " + std::string(dataTypeName(type())) + " was taken as type " +
                std::string(dataTypeName(dataTypeOf<T>())),
            where);
      }
    }

    // dispatches on the DataType switch (cheaper to inline than std::visit's table)
    template<class F>
    decltype(auto) withRef(F&& f) const {
      return callForType(type(), [&](auto sample) -> decltype(auto) {
        return f(*std::get_if<Ref<decltype(sample)>>(&_ref));
      });
    }
    template<class F>
    decltype(auto) withRef(F&& f) {
      return callForType(type(), [&](auto sample) -> decltype(auto) {
        return f(*std::get_if<Ref<decltype(sample)>>(&_ref));
      });
    }

    ForEachValueType<Ref> _ref;
  };

  namespace detail {
    template<class T>
    using VectorPointer = std::vector<T>*;
    template<class T>
    using SnapshotPointer = std::shared_ptr<ControlSystemValue<T>>;
    template<class T>
    using SharedValuePointer = std::shared_ptr<const ControlSystemValue<T>>;
  } // namespace detail

  /// A writer's std::vector<T>, for the duration of one delivery (see above).
  using VectorRef = ValueHandle<detail::VectorPointer>;
  /// A snapshot on its way to the channels that share it, not yet published.
  using SnapshotHandle = ValueHandle<detail::SnapshotPointer>;
  /// A published, immutable value, shared by everybody who holds it.
  using SharedValue = ValueHandle<detail::SharedValuePointer>;

} // namespace Corvane
