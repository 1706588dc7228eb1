#pragma once
// The module-wide count of live objects and server locks. Each shared library
// that links the component model has its own count (its symbols are not
// exported), which is what DllCanUnloadNow reports on.

#include <cstdint>

namespace orvex::com {

void ObjectCreated();
void ObjectDestroyed();
void LockModule();
void UnlockModule();

std::int64_t LiveObjectCount();
std::int64_t LockCount();

// True when neither objects nor locks are alive; first joins the module
// threads that have exited (module_thread.h).
bool ModuleCanUnload();

}  // namespace orvex::com
