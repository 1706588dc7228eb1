#include "platform/script/collection.h"

#include <memory>
#include <vector>

#include "platform/error.h"
#include "platform/script/text_compare.h"

namespace orvex::script {
namespace {

// The items and an open-addressing index of their keys. A listing of a
// large folder lives in one of these, so an entry costs its item, its key
// and two index slots, and a lookup folds no text into a new string.
struct Storage {
  // An object (what listings hold) is kept as its bare reference; any other
  // value in a box of its own.
  struct Entry {
    Entry(const Variant& value, std::string entry_key) : key(std::move(entry_key)) { Set(value); }
    Entry(const Entry& source) : object(source.object), key(source.key) {
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
    std::string key;
  };

  std::vector<Entry> items;
  std::vector<std::uint32_t> slots;  // 0 = free, else position (1-based)
  std::size_t keyed = 0;

  // The slot holding `key`, or the free slot where it would go.
  std::size_t Slot(const std::string& key) const {
    const std::size_t mask = slots.size() - 1;
    for (std::size_t slot = FoldedHash(key) & mask;; slot = (slot + 1) & mask) {
      const std::uint32_t position = slots[slot];
      if (position == 0 || FoldedEquals(items[position - 1].key, key)) return slot;
    }
  }

  // 0 when `key` is absent.
  std::uint32_t Find(const std::string& key) const {
    if (slots.empty() || key.empty()) return 0;
    return slots[Slot(key)];
  }

  void Index(std::uint32_t position) {
    if ((keyed + 1) * 2 > slots.size()) {
      Rebuild(keyed + 1);  // takes in the new item as well
      return;
    }
    slots[Slot(items[position - 1].key)] = position;
    ++keyed;
  }

  // A fresh index with room for at least `expected` keys at half load.
  void Rebuild(std::size_t expected) {
    std::size_t size = 16;
    while (size < expected * 2) size *= 2;
    slots.assign(size, 0);
    keyed = 0;
    const std::size_t mask = size - 1;
    for (std::size_t index = 0; index < items.size(); ++index) {
      if (items[index].key.empty()) continue;
      std::size_t slot = FoldedHash(items[index].key) & mask;
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
    if (!key.empty() && storage_->Find(key) != 0) {
      Raise(error_number::kKeyAlreadyAssociated, "This key is already associated with an element of this collection");
    }
    Storage& storage = Writable();
    storage.items.push_back(Storage::Entry{item, key});
    if (!key.empty()) storage.Index(static_cast<std::uint32_t>(storage.items.size()));
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

  std::string Key(std::int32_t position) const override { return storage_->items[Index(position)].key; }

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
    if (entry.key == key) return;
    entry.key = key;
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
    storage.items.erase(storage.items.begin() + static_cast<std::ptrdiff_t>(index));
    // Every later position moves: the index is rebuilt.
    storage.Rebuild(storage.keyed);
  }

  std::shared_ptr<Storage> storage_;
};

}  // namespace

com::ComPtr<Collection> NewCollection() { return CollectionObject::Create(); }

}  // namespace orvex::script
