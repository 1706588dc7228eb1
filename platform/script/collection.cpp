#include "platform/script/collection.h"

#include <unordered_map>
#include <vector>

#include "platform/error.h"
#include "platform/script/text_compare.h"

namespace orvex::script {
namespace {

class CollectionObject final : public com::Object<CollectionObject, Collection> {
 public:
  void Add(const Variant& item, const std::string& key) override {
    if (!key.empty()) {
      auto folded = FoldCase(key);
      if (keys_.contains(folded)) {
        Raise(error_number::kKeyAlreadyAssociated,
              "This key is already associated with an element of this collection");
      }
      keys_.emplace(std::move(folded), items_.size());
    }
    items_.push_back(Entry{item, key});
  }

  std::int32_t Count() const override { return static_cast<std::int32_t>(items_.size()); }

  Variant Item(std::int32_t position) const override { return items_[Index(position)].item; }

  Variant Item(const std::string& key) const override {
    auto found = Find(key);
    if (!found) Raise(error_number::kInvalidProcedureCall, "Invalid procedure call or argument");
    return *found;
  }

  std::optional<Variant> Find(const std::string& key) const override {
    auto it = keys_.find(FoldCase(key));
    if (it == keys_.end()) return std::nullopt;
    return items_[it->second].item;
  }

  void Remove(std::int32_t position) override { Erase(Index(position)); }

  void Remove(const std::string& key) override {
    auto it = keys_.find(FoldCase(key));
    if (it == keys_.end()) Raise(error_number::kInvalidProcedureCall, "Invalid procedure call or argument");
    Erase(it->second);
  }

 private:
  struct Entry {
    Variant item;
    std::string key;
  };

  std::size_t Index(std::int32_t position) const {
    if (position < 1 || position > Count()) Raise(error_number::kSubscriptOutOfRange, "Subscript out of range");
    return static_cast<std::size_t>(position - 1);
  }

  void Erase(std::size_t index) {
    if (!items_[index].key.empty()) keys_.erase(FoldCase(items_[index].key));
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
    for (auto& [key, position] : keys_) {
      if (position > index) --position;
    }
  }

  std::vector<Entry> items_;
  std::unordered_map<std::string, std::size_t> keys_;  // folded key -> index
};

}  // namespace

com::ComPtr<Collection> NewCollection() { return CollectionObject::Create(); }

}  // namespace orvex::script
