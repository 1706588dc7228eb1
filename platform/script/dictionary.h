#pragma once
// Dictionary: the scripting runtime's keyed set of values.
//
// Keys keep their insertion order. Under text compare, keys that differ only
// in letter case are the same key, and the key keeps the spelling it was first
// added with. The compare mode can change only while the dictionary is empty.
// Reading the item of a missing key adds that key with an empty value, as the
// runtime does; use Exists to test without adding.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/com/unknown.h"
#include "platform/variant.h"

namespace orvex::script {

enum class CompareMode { Binary = 0, Text = 1 };

struct Dictionary : com::IUnknown {
  static constexpr com::IID kIid = com::MakeGuid("{42C642C1-97E1-11CF-978F-00A02463E06F}");

  virtual orvex::script::CompareMode CompareMode() const = 0;
  // Raises 5 when the dictionary is not empty.
  virtual void CompareMode(orvex::script::CompareMode mode) = 0;

  // Raises 457 when the key exists.
  virtual void Add(const std::string& key, const Variant& item) = 0;
  virtual bool Exists(const std::string& key) const = 0;
  virtual Variant Item(const std::string& key) = 0;
  // Sets the item of `key`, adding the key when missing.
  virtual void Item(const std::string& key, const Variant& item) = 0;
  virtual std::vector<std::string> Keys() const = 0;
  virtual std::vector<Variant> Items() const = 0;
  virtual std::int32_t Count() const = 0;
  // Raises 32811 when the key is missing.
  virtual void Remove(const std::string& key) = 0;
  virtual void RemoveAll() = 0;
};

com::ComPtr<Dictionary> NewDictionary(CompareMode mode = CompareMode::Binary);

}  // namespace orvex::script
