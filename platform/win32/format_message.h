#pragma once
// Message texts for the error numbers the platform layer raises.
//
// FormatMessageA looks the number up in our own message table (the source
// module argument is accepted and ignored: there is one table for the whole
// process). Like the Windows function it writes the text followed by CR LF and
// a NUL, and returns the number of characters written without the NUL, or 0
// when there is no message for the number or the buffer is too small.

#include <optional>
#include <string_view>

#include "platform/win32/types.h"

namespace orvex::win32 {

inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x800;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;

DWORD FormatMessageA(DWORD flags, const void* source, DWORD message_number,
                     DWORD language, char* buffer, DWORD size,
                     void* arguments);

// The bare message (no line break) or nullopt for a number we have no text for.
std::optional<std::string_view> MessageText(DWORD message_number);

}  // namespace orvex::win32
