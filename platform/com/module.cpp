#include "platform/com/module.h"

#include <atomic>

#include "platform/com/module_thread.h"

namespace orvex::com {
namespace {
std::atomic<std::int64_t> live_objects{0};
std::atomic<std::int64_t> locks{0};
}  // namespace

void ObjectCreated() { ++live_objects; }
void ObjectDestroyed() { --live_objects; }
void LockModule() { ++locks; }
void UnlockModule() { --locks; }
std::int64_t LiveObjectCount() { return live_objects.load(); }
std::int64_t LockCount() { return locks.load(); }
bool ModuleCanUnload() {
  // A module thread that has exited still holds its lock until it is joined.
  JoinFinishedModuleThreads();
  return live_objects.load() == 0 && locks.load() == 0;
}

}  // namespace orvex::com
