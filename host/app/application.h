#pragma once
// ReferenceConfiguration and ReferenceApplication: the reference host's
// HostConfiguration (which hands out the settings store) and HostApplication
// (which hands out the configuration and the folder caches).

#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "connection/host/ipc.h"
#include "connection/host/plugin_interface.h"
#include "host/app/folder_cache.h"

namespace orvex::hostapp {

class ReferenceConfiguration final : public com::Object<ReferenceConfiguration, HostConfiguration> {
 public:
  explicit ReferenceConfiguration(com::ComPtr<SettingsStore> settings) : settings_(std::move(settings)) {}

  com::ComPtr<SettingsStore> Settings() override { return settings_; }

 private:
  const com::ComPtr<SettingsStore> settings_;
};

class ReferenceApplication final : public com::Object<ReferenceApplication, HostApplication> {
 public:
  explicit ReferenceApplication(com::ComPtr<HostConfiguration> configuration)
      : configuration_(std::move(configuration)) {}

  com::ComPtr<HostConfiguration> Configuration() override { return configuration_; }

  // One MemoryFolderCache per server and base location, created on first
  // request and kept for the life of the application, so every connection to
  // the same place shares its listings. Server names compare without regard
  // to letter case (host names do); locations compare as cache paths do
  // (host_path.h: "/" and "\" alike, trailing separators ignored, letter
  // case exact). `plugin` is not used to tell caches apart and may be null.
  com::ComPtr<FolderCache> GetFolderCache(const com::ComPtr<iPC>& plugin, const std::string& server,
                                          const std::string& location) override;

 private:
  const com::ComPtr<HostConfiguration> configuration_;
  std::mutex mutex_;
  std::map<std::pair<std::string, std::string>, com::ComPtr<FolderCache>> caches_;
};

}  // namespace orvex::hostapp
