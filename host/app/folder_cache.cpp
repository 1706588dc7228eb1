#include "host/app/folder_cache.h"

#include <algorithm>
#include <unordered_set>

#include "host/app/host_path.h"
#include "platform/error.h"
#include "platform/script/text_compare.h"

namespace orvex::hostapp {
namespace {

// The Name of a host item, or nothing when the value is no host item.
std::optional<std::string> NameOf(const Variant& item) {
  if (auto file = item.AsInterface<HostFile>()) return file->Name();
  if (auto folder = item.AsInterface<HostFolder>()) return folder->Name();
  return std::nullopt;
}

// The name an item is known by in its folder: its Name, or for an item
// without one the last component of its path.
std::string ItemName(const std::string& name, const std::string& key) {
  return name.empty() ? LastComponent(key) : name;
}

}  // namespace

MemoryFolderCache::Entries MemoryFolderCache::CopyIn(const com::ComPtr<script::Collection>& collection) {
  Entries entries;
  const auto count = collection->Count();
  entries.reserve(static_cast<std::size_t>(count));
  for (std::int32_t position = 1; position <= count; ++position) {
    Variant item = collection->Item(position);
    auto name = NameOf(item);
    entries.push_back(Entry{std::move(item), std::move(name)});
  }
  return entries;
}

com::ComPtr<script::Collection> MemoryFolderCache::CopyOut(const Entries& entries) {
  auto collection = script::NewCollection();
  // Collection keys ignore letter case, FTP names do not: the first of
  // several names that differ only in case gets the key, the rest none.
  std::unordered_set<std::string> taken;
  for (const auto& entry : entries) {
    if (entry.name && !entry.name->empty() && taken.insert(script::FoldCase(*entry.name)).second) {
      collection->Add(entry.item, *entry.name);
    } else {
      collection->Add(entry.item);
    }
  }
  return collection;
}

void MemoryFolderCache::Update(std::optional<Entries> Listing::*half, const std::string& folder_key,
                               const std::string& name, const Variant& item, bool deleted) {
  auto listing = listings_.find(folder_key);
  if (listing == listings_.end() || !(listing->second.*half)) return;
  Entries& entries = *(listing->second.*half);
  auto same_name = [&](const Entry& entry) { return entry.name && *entry.name == name; };
  if (deleted) {
    std::erase_if(entries, same_name);
    return;
  }
  auto found = std::find_if(entries.begin(), entries.end(), same_name);
  if (found != entries.end()) {
    // Replaced in place, so the listing keeps the server's order.
    *found = Entry{item, name};
  } else {
    entries.push_back(Entry{item, name});
  }
}

void MemoryFolderCache::UpdateFile(const com::ComPtr<HostFile>& file) {
  if (!file) Raise(error_number::kObjectRequired, "Object required");
  const auto key = CacheKey(file->Path());
  const auto name = ItemName(file->Name(), key);
  const bool deleted = file->Deleted();
  std::lock_guard lock(mutex_);
  Update(&Listing::files, ParentKey(key), name, Variant(file), deleted);
}

void MemoryFolderCache::UpdateFolder(const com::ComPtr<HostFolder>& folder) {
  if (!folder) Raise(error_number::kObjectRequired, "Object required");
  const auto key = CacheKey(folder->Path());
  const auto name = ItemName(folder->Name(), key);
  const bool deleted = folder->Deleted();
  std::lock_guard lock(mutex_);
  Update(&Listing::folders, ParentKey(key), name, Variant(folder), deleted);
  // What was cached inside a folder that is gone describes nothing any more.
  if (deleted) ForgetBelow(key);
}

bool MemoryFolderCache::GetContents(const std::string& path, com::ComPtr<script::Collection>& folders,
                                    com::ComPtr<script::Collection>& files) {
  folders = nullptr;
  files = nullptr;
  std::lock_guard lock(mutex_);
  auto listing = listings_.find(CacheKey(path));
  if (listing == listings_.end() || !listing->second.folders || !listing->second.files) return false;
  folders = CopyOut(*listing->second.folders);
  files = CopyOut(*listing->second.files);
  return true;
}

void MemoryFolderCache::Store(const std::string& path, std::optional<Entries> Listing::*half,
                              const com::ComPtr<script::Collection>& collection) {
  const auto key = CacheKey(path);
  std::optional<Entries> entries;
  // Copied before taking the lock: reading the items calls into them.
  if (collection) entries = CopyIn(collection);
  std::lock_guard lock(mutex_);
  if (entries) {
    listings_[key].*half = std::move(entries);
    return;
  }
  auto listing = listings_.find(key);
  if (listing == listings_.end()) return;
  listing->second.*half = std::nullopt;
  if (!listing->second.folders && !listing->second.files) listings_.erase(listing);
}

void MemoryFolderCache::SetFiles(const std::string& path, const com::ComPtr<script::Collection>& files) {
  Store(path, &Listing::files, files);
}

void MemoryFolderCache::SetFolders(const std::string& path,
                                   const com::ComPtr<script::Collection>& folders) {
  Store(path, &Listing::folders, folders);
}

void MemoryFolderCache::ForgetBelow(const std::string& key) {
  std::erase_if(listings_, [&](const auto& listing) { return IsSameOrBelow(listing.first, key); });
}

void MemoryFolderCache::ClearFolder(const std::string& path, bool recursive) {
  const auto key = CacheKey(path);
  std::lock_guard lock(mutex_);
  if (recursive) {
    ForgetBelow(key);
  } else {
    listings_.erase(key);
  }
}

}  // namespace orvex::hostapp
