#include "platform/win32/last_error.h"

namespace orvex::win32 {
namespace {
thread_local DWORD last_error = 0;
}  // namespace

DWORD GetLastError() noexcept { return last_error; }
void SetLastError(DWORD number) noexcept { last_error = number; }

}  // namespace orvex::win32
