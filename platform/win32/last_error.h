#pragma once
// The calling thread's last error number. Every platform call that fails sets
// it before returning; a successful call may leave it unchanged, so read it
// only right after a failure.

#include "platform/win32/types.h"

namespace orvex::win32 {

DWORD GetLastError() noexcept;
void SetLastError(DWORD number) noexcept;

}  // namespace orvex::win32
