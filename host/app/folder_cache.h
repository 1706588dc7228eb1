#pragma once
// MemoryFolderCache: the reference host's cache of remote listings for one
// server and base location, held in memory for the life of the host.
//
// A listing is stored per folder path, in two independent halves (folders and
// files) as SetFolders and SetFiles give them. Paths compare as host_path.h
// describes: "/" and "\" alike, trailing separators ignored, letter case
// exact (FTP names are case-sensitive).
//
// The cache copies collections on the way in and on the way out: a caller
// that later adds to or removes from a collection it stored or received does
// not change what the cache holds. The copies share their entries until one
// side changes (Collection::Copy), so a cached listing of a large folder
// costs no second set of entries and handing it out costs nothing per entry. The items themselves (HostFile and
// HostFolder objects) are shared, as the host shares one item object per
// remote item; replace an item with UpdateFile or UpdateFolder to change its
// listing.
//
// Collections handed out key every item by its name, except that of several
// names differing only in letter case (which collection keys cannot tell
// apart) only the first is keyed and the others are added without a key. An
// item is identified within its listing by its exact, case-sensitive name.
//
// All members may be called from any thread; calls are serialised.

#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "connection/host/folder_cache.h"

namespace orvex::hostapp {

class MemoryFolderCache final : public com::Object<MemoryFolderCache, FolderCache> {
 public:
  MemoryFolderCache() = default;

  // Enters the file into the cached file listing of its folder (the parent
  // of its Path): replaces the item of the same name or appends it; a file
  // marked Deleted is removed instead. Nothing happens when that folder's
  // files are not cached. Raises 424 for a null item.
  void UpdateFile(const com::ComPtr<HostFile>& file) override;
  // The same for a folder in its parent's folder listing. A folder marked
  // Deleted also takes its own cached listing and every listing below it
  // with it, even when its parent is not cached.
  void UpdateFolder(const com::ComPtr<HostFolder>& folder) override;
  // True, with fresh copies of both collections, when both the folders and
  // the files of `path` are cached. Otherwise false with both set to null:
  // half a listing is never handed out.
  bool GetContents(const std::string& path, com::ComPtr<script::Collection>& folders,
                   com::ComPtr<script::Collection>& files) override;
  // Store a copy of the collection as that half of the listing of `path`,
  // replacing what was there. A null collection forgets that half.
  void SetFiles(const std::string& path, const com::ComPtr<script::Collection>& files) override;
  void SetFolders(const std::string& path, const com::ComPtr<script::Collection>& folders) override;
  // Forgets the listing of `path` and, when `recursive`, of every path below
  // it ("dir\sub" is below "dir"; "dir2" is not).
  void ClearFolder(const std::string& path, bool recursive) override;

 private:
  using Half = com::ComPtr<script::Collection>;  // keyed as described above
  struct Listing {
    Half folders;
    Half files;
  };

  // A copy of `collection` keyed as the cache hands listings out.
  static Half CopyIn(const com::ComPtr<script::Collection>& collection);
  // Replaces, appends or (when `deleted`) removes the item called `name` in
  // the chosen half of the listing of `folder_key`, if that half is cached.
  void Update(Half Listing::*half, const std::string& folder_key, const std::string& name, const Variant& item,
              bool deleted);
  void Store(const std::string& path, Half Listing::*half, const com::ComPtr<script::Collection>& collection);
  void ForgetBelow(const std::string& key);

  std::mutex mutex_;
  std::unordered_map<std::string, Listing> listings_;  // by CacheKey
};

}  // namespace orvex::hostapp
