#include "platform/variant.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/error.h"
#include "platform/numeric.h"
#include "platform/script/text_compare.h"

namespace orvex {
namespace {

[[noreturn]] void TypeMismatch() { Raise(error_number::kTypeMismatch, "Type mismatch"); }

std::string FormatNumber(double value) {
  if (value == std::trunc(value) && std::fabs(value) < 1e15) {
    return std::to_string(static_cast<long long>(value));
  }
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return buffer;
}

std::string FormatDate(Date date) {
  CalendarTime t = date.ToCalendar();
  char buffer[32];
  bool has_time = t.hour || t.minute || t.second;
  bool has_day = std::trunc(date.serial()) != 0;
  if (has_day && has_time) {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
  } else if (has_time) {
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  } else {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", t.year, t.month, t.day);
  }
  return buffer;
}

}  // namespace

std::string Variant::ToString() const {
  switch (type()) {
    case Type::Empty: return "";
    case Type::Boolean: return std::get<bool>(value_) ? "True" : "False";
    case Type::Integer: return std::to_string(std::get<std::int16_t>(value_));
    case Type::Long: return std::to_string(std::get<std::int32_t>(value_));
    case Type::Double: return FormatNumber(std::get<double>(value_));
    case Type::Date: return FormatDate(std::get<orvex::Date>(value_));
    case Type::String: return std::get<std::string>(value_);
    case Type::Array:
    case Type::Object: break;
  }
  TypeMismatch();
}

double Variant::ToDouble() const {
  switch (type()) {
    case Type::Empty: return 0;
    case Type::Boolean: return std::get<bool>(value_) ? -1 : 0;
    case Type::Integer: return std::get<std::int16_t>(value_);
    case Type::Long: return std::get<std::int32_t>(value_);
    case Type::Double: return std::get<double>(value_);
    case Type::Date: return std::get<orvex::Date>(value_).serial();
    case Type::String: {
      if (auto number = ParseNumber(std::get<std::string>(value_))) return *number;
      break;
    }
    case Type::Array:
    case Type::Object: break;
  }
  TypeMismatch();
}

std::int32_t Variant::ToLong() const {
  double value = std::nearbyint(ToDouble());  // the default rounding mode rounds half to even
  if (!(value >= std::numeric_limits<std::int32_t>::min() &&
        value <= std::numeric_limits<std::int32_t>::max())) {
    Raise(error_number::kOverflow, "Overflow");
  }
  return static_cast<std::int32_t>(value);
}

bool Variant::ToBoolean() const {
  if (type() == Type::Boolean) return std::get<bool>(value_);
  if (type() == Type::String) {
    const auto& text = std::get<std::string>(value_);
    if (script::TextEquals(text, "True")) return true;
    if (script::TextEquals(text, "False")) return false;
  }
  return ToDouble() != 0;
}

orvex::Date Variant::ToDate() const {
  if (type() == Type::Date) return std::get<orvex::Date>(value_);
  if (type() == Type::String) TypeMismatch();
  return orvex::Date(ToDouble());
}

const Variant::Array& Variant::AsArray() const {
  if (type() != Type::Array) TypeMismatch();
  return std::get<Array>(value_);
}

const Variant::ObjectReference& Variant::AsObject() const {
  if (type() != Type::Object) Raise(error_number::kObjectRequired, "Object required");
  return std::get<ObjectReference>(value_);
}

bool operator==(const Variant& a, const Variant& b) { return a.value_ == b.value_; }

}  // namespace orvex
