#include "platform/com/module_thread.h"

#include <pthread.h>

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/com/module.h"

namespace orvex::com {
namespace {

struct RunningThread {
  ModuleThreadId id;
  pthread_t handle;
};

// POSIX threads rather than std::thread: pthread_tryjoin_np tells an exited
// thread from a running one without waiting, and a thread still running when
// the process exits is simply left (a joinable std::thread would terminate).
struct Registry {
  std::mutex mutex;
  std::vector<RunningThread> threads;
  ModuleThreadId next_id = 1;
};

Registry& Threads() {
  static Registry registry;
  return registry;
}

void* RunWork(void* argument) {
  const std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(argument));
  (*work)();
  return nullptr;
}

}  // namespace

std::optional<ModuleThreadId> StartModuleThread(std::function<void()> work) {
  JoinFinishedModuleThreads();
  auto task = std::make_unique<std::function<void()>>(std::move(work));
  Registry& registry = Threads();
  std::lock_guard lock(registry.mutex);
  LockModule();
  pthread_t handle;
  if (pthread_create(&handle, nullptr, &RunWork, task.get()) != 0) {
    UnlockModule();
    return std::nullopt;
  }
  task.release();  // the thread owns it now
  const ModuleThreadId id = registry.next_id++;
  registry.threads.push_back({id, handle});
  return id;
}

void JoinModuleThread(ModuleThreadId thread) {
  Registry& registry = Threads();
  std::optional<pthread_t> handle;
  {
    std::lock_guard lock(registry.mutex);
    for (auto it = registry.threads.begin(); it != registry.threads.end(); ++it) {
      if (it->id == thread) {
        handle = it->handle;
        registry.threads.erase(it);
        break;
      }
    }
  }
  if (!handle) return;
  pthread_join(*handle, nullptr);
  UnlockModule();
}

std::size_t JoinFinishedModuleThreads() {
  Registry& registry = Threads();
  std::lock_guard lock(registry.mutex);
  std::erase_if(registry.threads, [](const RunningThread& thread) {
    if (pthread_tryjoin_np(thread.handle, nullptr) != 0) return false;
    UnlockModule();
    return true;
  });
  return registry.threads.size();
}

}  // namespace orvex::com
