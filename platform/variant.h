#pragma once
// Variant: the loosely typed value that crosses the host boundary where the
// host's interface takes "any value" (settings values, command arguments and
// results, collection items).
//
// Conversions follow the original runtime: Empty reads as "" or 0 or false;
// Boolean true is -1 as a number and "True" as text; a text converts to a
// number or a Boolean when it reads as one ("1", " -2.5e3 ", "true"),
// otherwise the conversion raises error 13 (type mismatch).

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/com/unknown.h"
#include "platform/date.h"

namespace orvex {

class Variant {
 public:
  enum class Type { Empty, Boolean, Integer, Long, Double, Date, String, Array, Object };
  using Array = std::vector<Variant>;
  using ObjectReference = com::ComPtr<com::IUnknown>;

  Variant() = default;
  Variant(bool value) : value_(value) {}
  Variant(std::int16_t value) : value_(value) {}
  Variant(std::int32_t value) : value_(value) {}
  Variant(double value) : value_(value) {}
  Variant(orvex::Date value) : value_(value) {}
  Variant(std::string value) : value_(std::move(value)) {}
  Variant(const char* value) : value_(std::string(value)) {}
  Variant(Array value) : value_(std::move(value)) {}
  Variant(ObjectReference value) : value_(std::move(value)) {}
  template <class T>
    requires std::is_base_of_v<com::IUnknown, T>
  Variant(const com::ComPtr<T>& value) : value_(ObjectReference(value.get())) {}

  Type type() const { return static_cast<Type>(value_.index()); }
  bool IsEmpty() const { return type() == Type::Empty; }
  bool IsObject() const { return type() == Type::Object; }

  // Conversions as described above; each raises orvex::Error 13 when the value
  // has no such reading (an object, an array, a text that is not a number).
  std::string ToString() const;
  double ToDouble() const;
  std::int32_t ToLong() const;  // rounds half to even, raises 6 on overflow
  bool ToBoolean() const;
  orvex::Date ToDate() const;

  const Array& AsArray() const;           // raises 13 unless an array
  const ObjectReference& AsObject() const;  // raises 424 unless an object
  // The object's interface T, or null when the value holds none.
  template <class T>
  com::ComPtr<T> AsInterface() const {
    if (!IsObject()) return {};
    return std::get<ObjectReference>(value_).template As<T>();
  }

  friend bool operator==(const Variant& a, const Variant& b);

 private:
  std::variant<std::monostate, bool, std::int16_t, std::int32_t, double, orvex::Date, std::string,
               Array, ObjectReference>
      value_;
};

}  // namespace orvex
