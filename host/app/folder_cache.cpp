#include "host/app/folder_cache.h"

#include <algorithm>

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

// Collection keys ignore letter case, FTP names do not: the first of several
// names that differ only in case gets the key, the rest none. A listing built
// that way (as the plug-in's are) is shared as it is; any other is re-keyed.
MemoryFolderCache::Half MemoryFolderCache::CopyIn(const com::ComPtr<script::Collection>& collection) {
  const auto count = collection->Count();
  bool keyed_by_name = true;
  for (std::int32_t position = 1; keyed_by_name && position <= count; ++position) {
    const auto name = NameOf(collection->Item(position));
    const auto key = collection->Key(position);
    if (name && !name->empty() && key == *name) continue;
    // Unkeyed is right only for a case twin of an earlier keyed name.
    keyed_by_name = key.empty() && name && !name->empty() && collection->Position(*name) > 0 &&
                    collection->Position(*name) < position;
  }
  if (keyed_by_name) return collection->Copy();

  auto copy = script::NewCollection();
  for (std::int32_t position = 1; position <= count; ++position) {
    Variant item = collection->Item(position);
    const auto name = NameOf(item);
    if (name && !name->empty() && copy->Position(*name) == 0) {
      copy->Add(item, *name);
    } else {
      copy->Add(item);
    }
  }
  return copy;
}

void MemoryFolderCache::Update(Half Listing::*half, const std::string& folder_key, const std::string& name,
                               const Variant& item, bool deleted) {
  auto listing = listings_.find(folder_key);
  if (listing == listings_.end() || !(listing->second.*half)) return;
  script::Collection& entries = *(listing->second.*half);
  // The keyed item of that name, unless its name differs in case; then an
  // unkeyed case twin carries the name exactly.
  std::int32_t found = entries.Position(name);
  if (found > 0 && NameOf(entries.Item(found)) != name) {
    found = 0;
    for (std::int32_t position = 1; position <= entries.Count(); ++position) {
      if (entries.Key(position).empty() && NameOf(entries.Item(position)) == name) {
        found = position;
        break;
      }
    }
  }
  if (deleted) {
    if (found == 0) return;
    const bool was_keyed = !entries.Key(found).empty();
    entries.Remove(found);
    if (!was_keyed) return;
    // The first case twin left takes over the key.
    for (std::int32_t position = 1; position <= entries.Count(); ++position) {
      if (!entries.Key(position).empty()) continue;
      const Variant twin = entries.Item(position);
      const auto twin_name = NameOf(twin);
      if (twin_name && !twin_name->empty() && script::FoldedEquals(*twin_name, name)) {
        entries.Replace(position, twin, *twin_name);
        break;
      }
    }
    return;
  }
  if (found > 0) {
    // Replaced in place, so the listing keeps the server's order.
    entries.Replace(found, item, entries.Key(found));
  } else {
    entries.Add(item, entries.Position(name) == 0 ? name : std::string());
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
  folders = listing->second.folders->Copy();
  files = listing->second.files->Copy();
  return true;
}

void MemoryFolderCache::Store(const std::string& path, Half Listing::*half,
                              const com::ComPtr<script::Collection>& collection) {
  const auto key = CacheKey(path);
  Half entries;
  // Copied before taking the lock: reading the items calls into them.
  if (collection) entries = CopyIn(collection);
  std::lock_guard lock(mutex_);
  if (entries) {
    listings_[key].*half = std::move(entries);
    return;
  }
  auto listing = listings_.find(key);
  if (listing == listings_.end()) return;
  listing->second.*half = nullptr;
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
