#include "platform/script/collection.h"

#include <deque>
#include <limits>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/script/text_compare.h"

namespace orvex::script {
namespace {

// The items, their keys and an open-addressing index of the keys. A listing
// of a large folder lives in one of these, so an entry costs three words,
// the bytes of its key and two index slots: the keys' text is kept end to
// end in one block, and the items in a deque, which grows without copying
// what it holds to ever larger blocks. A lookup folds no text into a new
// string.
struct Storage {
  // An object (what listings hold) is kept as its bare reference; any other
  // value in a box of its own.
  struct Entry {
    Entry(const Variant& value, std::uint32_t at, std::uint32_t size) : key_at(at), key_size(size) { Set(value); }
    Entry(const Entry& source) : object(source.object), key_at(source.key_at), key_size(source.key_size) {
      if (source.other) other = std::make_unique<Variant>(*source.other);
    }
    Entry& operator=(const Entry& source) {
      if (this != &source) *this = Entry(source);
      return *this;
    }
    Entry(Entry&&) noexcept = default;
    Entry& operator=(Entry&&) noexcept = default;

    void Set(const Variant& value) {
      object = nullptr;
      other.reset();
      if (value.type() == Variant::Type::Object) {
        object = value.AsObject();
      } else {
        other = std::make_unique<Variant>(value);
      }
    }
    Variant Get() const { return other ? *other : Variant(object); }

    com::ComPtr<com::IUnknown> object;
    std::unique_ptr<Variant> other;
    std::uint32_t key_at = 0;    // where the key starts in `keys`
    std::uint32_t key_size = 0;  // 0: no key
  };

  std::deque<Entry> items;
  std::string keys;              // every entry's key, end to end
  std::size_t dropped_keys = 0;  // bytes of `keys` no entry uses any more
  std::vector<std::uint32_t> slots;  // 0 = free, else position (1-based)
  std::size_t keyed = 0;

  std::string_view KeyOf(const Entry& entry) const { return std::string_view(keys).substr(entry.key_at, entry.key_size); }

  // A new entry's place for `key` in `keys`.
  std::pair<std::uint32_t, std::uint32_t> StoreKey(std::string_view key) {
    if (key.empty()) return {0, 0};
    // Positions are 32-bit: a collection whose keys come to 4 GiB has
    // reached its limit (its items would need far more than that).
    if (keys.size() + key.size() > std::numeric_limits<std::uint32_t>::max()) {
      Raise(error_number::kOutOfMemory, "Out of memory");
    }
    const auto at = static_cast<std::uint32_t>(keys.size());
    keys.append(key);
    return {at, static_cast<std::uint32_t>(key.size())};
  }

  // An entry's key is no longer used: once most of `keys` is such, the
  // keys in use are packed together again.
  void DropKey(const Entry& entry) {
    dropped_keys += entry.key_size;
    if (dropped_keys < 4096 || dropped_keys * 2 < keys.size()) return;
    std::string packed;
    packed.reserve(keys.size() - dropped_keys);
    for (Entry& item : items) {
      if (&item == &entry || item.key_size == 0) continue;
      const auto at = static_cast<std::uint32_t>(packed.size());
      packed.append(KeyOf(item));
      item.key_at = at;
    }
    keys = std::move(packed);
    dropped_keys = 0;
  }

  // The slot holding `key`, or the free slot where it would go.
  std::size_t Slot(std::string_view key) const {
    const std::size_t mask = slots.size() - 1;
    for (std::size_t slot = FoldedHash(key) & mask;; slot = (slot + 1) & mask) {
      const std::uint32_t position = slots[slot];
      if (position == 0 || FoldedEquals(KeyOf(items[position - 1]), key)) return slot;
    }
  }

  // 0 when `key` is absent.
  std::uint32_t Find(std::string_view key) const {
    if (slots.empty() || key.empty()) return 0;
    return slots[Slot(key)];
  }

  // A fresh index with room for at least `expected` keys at half load.
  void Rebuild(std::size_t expected) {
    std::size_t size = 16;
    while (size < expected * 2) size *= 2;
    slots.assign(size, 0);
    keyed = 0;
    const std::size_t mask = size - 1;
    for (std::size_t index = 0; index < items.size(); ++index) {
      if (items[index].key_size == 0) continue;
      std::size_t slot = FoldedHash(KeyOf(items[index])) & mask;
      while (slots[slot] != 0) slot = (slot + 1) & mask;
      slots[slot] = static_cast<std::uint32_t>(index + 1);
      ++keyed;
    }
  }
};

class CollectionObject final : public com::Object<CollectionObject, Collection> {
 public:
  CollectionObject() : storage_(std::make_shared<Storage>()) {}
  explicit CollectionObject(std::shared_ptr<Storage> storage) : storage_(std::move(storage)) {}

  void Add(const Variant& item, const std::string& key) override {
    // One search of the index tells whether the key is taken and, if not,
    // where it goes: in a large listing every probe is a miss of the cache.
    std::size_t slot = 0;
    if (!key.empty() && !storage_->slots.empty()) {
      slot = storage_->Slot(key);
      if (storage_->slots[slot] != 0) {
        Raise(error_number::kKeyAlreadyAssociated, "This key is already associated with an element of this collection");
      }
    }
    Storage& storage = Writable();  // a copy's index is the same
    const auto [at, size] = storage.StoreKey(key);
    storage.items.emplace_back(item, at, size);
    if (key.empty()) return;
    if ((storage.keyed + 1) * 2 > storage.slots.size()) {
      storage.Rebuild(storage.keyed + 1);  // takes in the new item as well
      return;
    }
    storage.slots[slot] = static_cast<std::uint32_t>(storage.items.size());
    ++storage.keyed;
  }

  std::int32_t Count() const override { return static_cast<std::int32_t>(storage_->items.size()); }

  Variant Item(std::int32_t position) const override { return storage_->items[Index(position)].Get(); }

  Variant Item(const std::string& key) const override {
    auto found = Find(key);
    if (!found) Raise(error_number::kInvalidProcedureCall, "Invalid procedure call or argument");
    return *found;
  }

  std::optional<Variant> Find(const std::string& key) const override {
    const auto position = storage_->Find(key);
    if (position == 0) return std::nullopt;
    return storage_->items[position - 1].Get();
  }

  std::int32_t Position(const std::string& key) const override {
    return static_cast<std::int32_t>(storage_->Find(key));
  }

  void Remove(std::int32_t position) override { Erase(Index(position)); }

  void Remove(const std::string& key) override {
    const auto position = storage_->Find(key);
    if (position == 0) Raise(error_number::kInvalidProcedureCall, "Invalid procedure call or argument");
    Erase(position - 1);
  }

  std::string Key(std::int32_t position) const override {
    return std::string(storage_->KeyOf(storage_->items[Index(position)]));
  }

  void Replace(std::int32_t position, const Variant& item, const std::string& key) override {
    const auto index = Index(position);
    if (!key.empty()) {
      const auto holder = storage_->Find(key);
      if (holder != 0 && holder != index + 1) {
        Raise(error_number::kKeyAlreadyAssociated, "This key is already associated with an element of this collection");
      }
    }
    Storage& storage = Writable();
    auto& entry = storage.items[index];
    entry.Set(item);
    if (storage.KeyOf(entry) == key) return;
    // The old key is let go first: packing the keys in use leaves this
    // entry's out, and its new one goes at the end of what is kept.
    storage.DropKey(entry);
    entry.key_size = 0;
    const auto [at, size] = storage.StoreKey(key);
    entry.key_at = at;
    entry.key_size = size;
    storage.Rebuild(storage.keyed + 1);
  }

  com::ComPtr<Collection> Copy() const override { return Create(storage_); }

 private:
  std::size_t Index(std::int32_t position) const {
    if (position < 1 || position > Count()) Raise(error_number::kSubscriptOutOfRange, "Subscript out of range");
    return static_cast<std::size_t>(position - 1);
  }

  // The storage, made this collection's own first if a copy shares it.
  Storage& Writable() {
    if (storage_.use_count() > 1) storage_ = std::make_shared<Storage>(*storage_);
    return *storage_;
  }

  void Erase(std::size_t index) {
    Storage& storage = Writable();
    storage.DropKey(storage.items[index]);
    storage.items.erase(storage.items.begin() + static_cast<std::ptrdiff_t>(index));
    // Every later position moves: the index is rebuilt.
    storage.Rebuild(storage.keyed);
  }

  std::shared_ptr<Storage> storage_;
};

}  // namespace

com::ComPtr<Collection> NewCollection() { return CollectionObject::Create(); }

}  // namespace orvex::script
