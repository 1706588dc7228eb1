#include "platform/script/dictionary.h"

#include <unordered_map>

#include "platform/error.h"
#include "platform/script/text_compare.h"

namespace orvex::script {
namespace {

class DictionaryObject final : public com::Object<DictionaryObject, Dictionary> {
 public:
  explicit DictionaryObject(orvex::script::CompareMode mode) : mode_(mode) {}

  orvex::script::CompareMode CompareMode() const override { return mode_; }
  void CompareMode(orvex::script::CompareMode mode) override {
    if (!entries_.empty()) Raise(error_number::kInvalidProcedureCall, "Invalid procedure call or argument");
    mode_ = mode;
  }

  void Add(const std::string& key, const Variant& item) override {
    if (Exists(key)) Raise(error_number::kKeyAlreadyAssociated, "This key is already associated with an element of this collection");
    Insert(key, item);
  }

  bool Exists(const std::string& key) const override { return index_.contains(Normal(key)); }

  Variant Item(const std::string& key) override {
    auto it = index_.find(Normal(key));
    if (it == index_.end()) {
      Insert(key, Variant());
      return Variant();
    }
    return entries_[it->second].item;
  }

  void Item(const std::string& key, const Variant& item) override {
    auto it = index_.find(Normal(key));
    if (it == index_.end()) {
      Insert(key, item);
    } else {
      entries_[it->second].item = item;
    }
  }

  std::vector<std::string> Keys() const override {
    std::vector<std::string> keys;
    keys.reserve(entries_.size());
    for (const auto& entry : entries_) keys.push_back(entry.key);
    return keys;
  }

  std::vector<Variant> Items() const override {
    std::vector<Variant> items;
    items.reserve(entries_.size());
    for (const auto& entry : entries_) items.push_back(entry.item);
    return items;
  }

  std::int32_t Count() const override { return static_cast<std::int32_t>(entries_.size()); }

  void Remove(const std::string& key) override {
    auto it = index_.find(Normal(key));
    if (it == index_.end()) Raise(error_number::kElementNotFound, "Element not found");
    std::size_t removed = it->second;
    index_.erase(it);
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(removed));
    for (auto& [normal, position] : index_) {
      if (position > removed) --position;
    }
  }

  void RemoveAll() override {
    entries_.clear();
    index_.clear();
  }

 private:
  struct Entry {
    std::string key;
    Variant item;
  };

  std::string Normal(const std::string& key) const {
    return mode_ == CompareMode::Text ? FoldCase(key) : key;
  }

  void Insert(const std::string& key, const Variant& item) {
    index_.emplace(Normal(key), entries_.size());
    entries_.push_back(Entry{key, item});
  }

  orvex::script::CompareMode mode_;
  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t> index_;
};

}  // namespace

com::ComPtr<Dictionary> NewDictionary(CompareMode mode) { return DictionaryObject::Create(mode); }

}  // namespace orvex::script
