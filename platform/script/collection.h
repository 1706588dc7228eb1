#pragma once
// Collection: an ordered list of values with optional string keys.
//
// Positions count from 1. A key is unique without regard to letter case
// (text compare); adding a second item under a key that is already taken
// raises orvex::Error 457 and leaves the collection unchanged. Lookups by key
// ignore case too. A position outside 1..Count raises 9, an unknown key 5.
//
// Copy gives a second collection with the same items and keys that shares
// this one's storage until either of them is changed, so a listing can be
// handed on and kept at no cost per entry. Like the other members it is not
// safe against a concurrent change of the same collection object.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/com/unknown.h"
#include "platform/variant.h"

namespace orvex::script {

struct Collection : com::IUnknown {
  static constexpr com::IID kIid = com::MakeGuid("{A4C46780-499F-101B-BB78-00AA00383CBB}");

  // Appends `item`; an empty key means no key.
  virtual void Add(const Variant& item, const std::string& key = {}) = 0;
  virtual std::int32_t Count() const = 0;
  virtual Variant Item(std::int32_t position) const = 0;
  virtual Variant Item(const std::string& key) const = 0;
  // The item under `key`, or nullopt; never raises.
  virtual std::optional<Variant> Find(const std::string& key) const = 0;
  virtual void Remove(std::int32_t position) = 0;
  virtual void Remove(const std::string& key) = 0;

  // The position of the item under `key`, or 0; never raises.
  virtual std::int32_t Position(const std::string& key) const = 0;
  // The key of the item at `position` ("" for none).
  virtual std::string Key(std::int32_t position) const = 0;
  // Puts `item` at `position` in place of the item there, under `key` (""
  // for none); raises 457 when another item holds that key.
  virtual void Replace(std::int32_t position, const Variant& item, const std::string& key) = 0;
  virtual com::ComPtr<Collection> Copy() const = 0;
};

com::ComPtr<Collection> NewCollection();

}  // namespace orvex::script
