#include "host/app/application.h"

#include "host/app/host_path.h"
#include "platform/script/text_compare.h"

namespace orvex::hostapp {

com::ComPtr<FolderCache> ReferenceApplication::GetFolderCache(const com::ComPtr<iPC>&,
                                                              const std::string& server,
                                                              const std::string& location) {
  auto key = std::make_pair(script::FoldCase(server), CacheKey(location));
  std::lock_guard lock(mutex_);
  auto& cache = caches_[key];
  if (!cache) cache = MemoryFolderCache::Create();
  return cache;
}

}  // namespace orvex::hostapp
