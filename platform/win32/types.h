#pragma once
// The fixed-width value types of the Windows API, as the plug-in's code
// declares its variables. DWORD is 32-bit on every platform we build for.

#include <cstdint>

namespace orvex::win32 {

using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BOOL = int;
using DWORD_PTR = std::uintptr_t;

inline constexpr BOOL kTrue = 1;
inline constexpr BOOL kFalse = 0;

}  // namespace orvex::win32
