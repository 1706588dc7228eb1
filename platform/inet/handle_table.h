#pragma once
// The process-wide table behind the API's 32-bit handles.
//
// A handle is a number, never a pointer: a stale or forged handle finds
// nothing instead of touching freed memory. Numbers are not reused while the
// process runs (until they wrap after 4 billion handles). Closing a handle
// also closes every handle opened under it (a session's connections, a
// connection's listings and open files), children first.

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace orvex::inet {

using Handle = std::uint32_t;

class HandleObject {
 public:
  virtual ~HandleObject() = default;
};

class HandleTable {
 public:
  static HandleTable& Instance();

  // 0 when the table is full.
  Handle Add(std::shared_ptr<HandleObject> object, Handle parent);
  std::shared_ptr<HandleObject> Find(Handle handle) const;
  template <typename T>
  std::shared_ptr<T> FindAs(Handle handle) const {
    return std::dynamic_pointer_cast<T>(Find(handle));
  }
  // False for an unknown handle. The objects are released outside the lock,
  // children before their parent.
  bool Remove(Handle handle);

 private:
  struct Slot {
    std::shared_ptr<HandleObject> object;
    Handle parent = 0;
  };

  void CollectLocked(Handle handle,
                     std::vector<std::shared_ptr<HandleObject>>& released);

  mutable std::mutex mutex_;
  std::unordered_map<Handle, Slot> slots_;
  Handle next_ = 1;
};

}  // namespace orvex::inet
