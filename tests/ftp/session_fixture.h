#pragma once
// What the session tests share: a session with a real host folder cache, and
// helpers to read listings.

#include <cstdint>
#include <string>
#include <vector>

#include "connection/host/host_file.h"
#include "ftp/cxFTP.h"
#include "host/app/folder_cache.h"
#include "platform/script/collection.h"

namespace orvex::ftp_testing {

// "ftp://host:port" followed by `folder` as given.
inline std::string LocationOf(const std::string& host, std::uint16_t port,
                              const std::string& folder = "") {
  return "ftp://" + host + ":" + std::to_string(port) + folder;
}

// A session set up as its owner sets it up: passive, with the host's cache.
struct TestSession {
  TestSession() {
    ftp.UsePassiveSemantics(true);
    ftp.Cache(cache);
  }
  com::ComPtr<hostapp::MemoryFolderCache> cache = hostapp::MemoryFolderCache::Create();
  cxFTP ftp;
};

// Item names in collection order.
inline std::vector<std::string> Names(const com::ComPtr<script::Collection>& items) {
  std::vector<std::string> names;
  if (!items) return names;
  for (std::int32_t position = 1; position <= items->Count(); ++position) {
    const Variant item = items->Item(position);
    if (auto file = item.AsInterface<HostFile>()) names.push_back(file->Name());
    if (auto folder = item.AsInterface<HostFolder>()) names.push_back(folder->Name());
  }
  return names;
}

template <class Item>
com::ComPtr<Item> ItemNamed(const com::ComPtr<script::Collection>& items, const std::string& name) {
  for (std::int32_t position = 1; items && position <= items->Count(); ++position) {
    auto item = items->Item(position).AsInterface<Item>();
    if (item && item->Name() == name) return item;
  }
  return {};
}

}  // namespace orvex::ftp_testing
