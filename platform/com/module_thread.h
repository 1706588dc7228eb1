#pragma once
// Threads that may outlive every object of the library.
//
// A thread whose work can run on after its caller has given up on it (a host
// name lookup stuck in the system resolver, say) runs the library's code until
// it has fully exited. Such a thread is started here: it holds a lock on the
// module (module.h) from its start until it has been joined, so
// DllCanUnloadNow says no while any instruction of it may still run inside the
// library, including its exit path.
//
// Finished threads are joined without waiting whenever the module is asked
// whether it can unload and whenever a new thread starts, so an abandoned
// thread never lingers as a zombie longer than one of those calls.

#include <cstdint>
#include <functional>
#include <optional>

namespace orvex::com {

using ModuleThreadId = std::uint64_t;

// Runs `work` on a new module thread. std::nullopt (and no lock) when the
// system cannot start a thread.
std::optional<ModuleThreadId> StartModuleThread(std::function<void()> work);

// Waits for the thread to exit and lets its lock go. For a caller that knows
// the work is done (it has its result): the wait is then only for the thread's
// exit. A thread already joined is ignored.
void JoinModuleThread(ModuleThreadId thread);

// Joins every module thread that has exited, without waiting for any other;
// returns how many are still running.
std::size_t JoinFinishedModuleThreads();

}  // namespace orvex::com
