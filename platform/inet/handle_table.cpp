#include "platform/inet/handle_table.h"

namespace orvex::inet {

HandleTable& HandleTable::Instance() {
  static HandleTable* table = new HandleTable;  // lives for the whole process
  return *table;
}

Handle HandleTable::Add(std::shared_ptr<HandleObject> object, Handle parent) {
  std::lock_guard lock(mutex_);
  if (slots_.size() >= 0xffff'fff0u) return 0;
  while (next_ == 0 || slots_.count(next_) != 0) ++next_;
  const Handle handle = next_++;
  slots_.emplace(handle, Slot{std::move(object), parent});
  return handle;
}

std::shared_ptr<HandleObject> HandleTable::Find(Handle handle) const {
  std::lock_guard lock(mutex_);
  const auto found = slots_.find(handle);
  return found == slots_.end() ? nullptr : found->second.object;
}

void HandleTable::CollectLocked(
    Handle handle, std::vector<std::shared_ptr<HandleObject>>& released) {
  std::vector<Handle> children;
  for (const auto& [child, slot] : slots_) {
    if (slot.parent == handle) children.push_back(child);
  }
  for (const Handle child : children) CollectLocked(child, released);
  const auto found = slots_.find(handle);
  released.push_back(std::move(found->second.object));
  slots_.erase(found);
}

bool HandleTable::Remove(Handle handle) {
  std::vector<std::shared_ptr<HandleObject>> released;
  {
    std::lock_guard lock(mutex_);
    if (handle == 0 || slots_.count(handle) == 0) return false;
    CollectLocked(handle, released);
  }
  // Destroy in order: children (open files abort, listings end) before the
  // connection that carries them.
  for (auto& object : released) object.reset();
  return true;
}

}  // namespace orvex::inet
