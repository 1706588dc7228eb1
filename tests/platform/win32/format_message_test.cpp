// Message texts: what the plug-in shows for the numbers the engine raises.

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/error_numbers.h"
#include "platform/win32/format_message.h"

namespace orvex::win32 {
namespace {

TEST(FormatMessage, EveryNumberTheEngineRaisesHasATextEndedByCrLf) {
  for (const DWORD number :
       {ERROR_INVALID_HANDLE, ERROR_INVALID_NAME, ERROR_INTERNET_TIMEOUT,
        ERROR_INTERNET_EXTENDED_ERROR, ERROR_INTERNET_NAME_NOT_RESOLVED,
        ERROR_INTERNET_INCORRECT_PASSWORD, ERROR_INTERNET_CANNOT_CONNECT,
        ERROR_INTERNET_CONNECTION_ABORTED, ERROR_INTERNET_CONNECTION_RESET,
        ERROR_FTP_TRANSFER_IN_PROGRESS, ERROR_FTP_DROPPED,
        ERROR_INTERNET_INVALID_SERVER_RESPONSE, ERROR_INTERNET_DISCONNECTED,
        ERROR_NOT_ENOUGH_MEMORY}) {
    char buffer[257];
    const DWORD count = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, nullptr, number,
                                       0, buffer, 256, nullptr);
    ASSERT_GT(count, 2u) << number;
    EXPECT_EQ(std::string(buffer + count - 2), "\r\n") << number;
    EXPECT_EQ(std::string(buffer, count - 2), *MessageText(number)) << number;
  }
  char buffer[64];
  EXPECT_EQ(FormatMessageA(0, nullptr, 4242, 0, buffer, sizeof buffer, nullptr), 0u);
  EXPECT_FALSE(MessageText(4242));
  // Too small for the text, its line end and the NUL: nothing.
  EXPECT_EQ(FormatMessageA(0, nullptr, ERROR_INTERNET_TIMEOUT, 0, buffer, 8, nullptr), 0u);
}

}  // namespace
}  // namespace orvex::win32
