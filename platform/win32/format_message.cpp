#include "platform/win32/format_message.h"

#include <cstring>

#include "platform/win32/error_numbers.h"

namespace orvex::win32 {
namespace {

struct Message {
  DWORD number;
  std::string_view text;
};

constexpr Message kMessages[] = {
    {ERROR_SUCCESS, "The operation completed."},
    {ERROR_INVALID_HANDLE, "The handle is not open or is of the wrong kind."},
    {ERROR_NOT_ENOUGH_MEMORY, "There is not enough memory for this operation."},
    {ERROR_NO_MORE_FILES, "There are no more entries in this listing."},
    {ERROR_INVALID_PARAMETER, "An argument of the call is not valid."},
    {ERROR_INSUFFICIENT_BUFFER, "The buffer is too small for the result."},
    {ERROR_INVALID_NAME,
     "The name or path contains a line break or NUL character and was not "
     "sent to the server."},
    {ERROR_INTERNET_OUT_OF_HANDLES, "No more handles could be created."},
    {ERROR_INTERNET_TIMEOUT, "The server did not answer in time."},
    {ERROR_INTERNET_EXTENDED_ERROR,
     "The server refused the request; its reply has the details."},
    {ERROR_INTERNET_INTERNAL_ERROR, "An internal error occurred in the FTP client."},
    {ERROR_INTERNET_NAME_NOT_RESOLVED, "The server name could not be resolved."},
    {ERROR_INTERNET_INVALID_OPTION, "The option is not known."},
    {ERROR_INTERNET_BAD_OPTION_LENGTH, "The option value has the wrong length."},
    {ERROR_INTERNET_INCORRECT_PASSWORD,
     "The server refused the login: user name or password is wrong."},
    {ERROR_INTERNET_LOGIN_FAILURE, "The login to the server failed."},
    {ERROR_INTERNET_INVALID_OPERATION, "The operation is not valid here."},
    {ERROR_INTERNET_INCORRECT_HANDLE_TYPE,
     "The handle is of the wrong kind for this operation."},
    {ERROR_INTERNET_CANNOT_CONNECT, "The connection to the server could not be made."},
    {ERROR_INTERNET_CONNECTION_ABORTED, "The server closed the connection."},
    {ERROR_INTERNET_CONNECTION_RESET, "The connection to the server was reset."},
    {ERROR_INTERNET_INVALID_PROXY_REQUEST,
     "The proxy refused or did not understand the request."},
    {ERROR_FTP_TRANSFER_IN_PROGRESS,
     "A file transfer is already running on this connection."},
    {ERROR_FTP_DROPPED, "The FTP connection was dropped."},
    {ERROR_FTP_NO_PASSIVE_MODE, "The server offers no passive data connections."},
    {ERROR_INTERNET_INVALID_SERVER_RESPONSE,
     "The server sent a reply that is not valid FTP."},
    {ERROR_INTERNET_DISCONNECTED,
     "The connection to the server was lost and was not restored."},
};

}  // namespace

std::optional<std::string_view> MessageText(DWORD message_number) {
  for (const Message& message : kMessages) {
    if (message.number == message_number) return message.text;
  }
  return std::nullopt;
}

DWORD FormatMessageA(DWORD /*flags*/, const void* /*source*/,
                     DWORD message_number, DWORD /*language*/, char* buffer,
                     DWORD size, void* /*arguments*/) {
  const std::optional<std::string_view> text = MessageText(message_number);
  if (!text || buffer == nullptr) return 0;
  const std::size_t length = text->size() + 2;  // with CR LF
  if (length + 1 > size) return 0;
  std::memcpy(buffer, text->data(), text->size());
  buffer[text->size()] = '\r';
  buffer[text->size() + 1] = '\n';
  buffer[length] = '\0';
  return static_cast<DWORD>(length);
}

}  // namespace orvex::win32
