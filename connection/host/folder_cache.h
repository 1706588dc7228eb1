#pragma once
// FolderCache: the host's cache of remote listings for one server and base
// location. Paths are host paths; a listing is a pair of collections (folders
// and files) keyed by item name.

#include <string>

#include "connection/host/host_file.h"
#include "platform/script/collection.h"

namespace orvex {

struct FolderCache : com::IUnknown {
  static constexpr com::IID kIid = com::MakeGuid("{5773301C-35CD-4115-B786-59F2207D7050}");

  // Puts the item into its folder's cached listing, replacing an item of the
  // same name; an item marked Deleted leaves the listing instead. A folder
  // whose listing is not cached is left alone.
  virtual void UpdateFile(const com::ComPtr<HostFile>& file) = 0;
  virtual void UpdateFolder(const com::ComPtr<HostFolder>& folder) = 0;
  // True, with both collections filled, when the listing of `path` is cached.
  virtual bool GetContents(const std::string& path, com::ComPtr<script::Collection>& folders,
                           com::ComPtr<script::Collection>& files) = 0;
  virtual void SetFiles(const std::string& path, const com::ComPtr<script::Collection>& files) = 0;
  virtual void SetFolders(const std::string& path,
                          const com::ComPtr<script::Collection>& folders) = 0;
  // Forgets the listing of `path`, and with `recursive` of every folder below.
  virtual void ClearFolder(const std::string& path, bool recursive) = 0;
};

}  // namespace orvex
