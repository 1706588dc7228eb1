#pragma once
// Error numbers the platform layer sets as the thread's last error. They keep
// the values Windows uses, so code that compares numbers (for example the FTP
// session's reconnect rule on 12030, 12031 and 12111) works unchanged.

#include "platform/win32/types.h"

namespace orvex::win32 {

inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_NO_MORE_FILES = 18;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_INVALID_NAME = 123;

inline constexpr DWORD ERROR_INTERNET_OUT_OF_HANDLES = 12001;
inline constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr DWORD ERROR_INTERNET_EXTENDED_ERROR = 12003;
inline constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr DWORD ERROR_INTERNET_INVALID_OPTION = 12009;
inline constexpr DWORD ERROR_INTERNET_BAD_OPTION_LENGTH = 12010;
inline constexpr DWORD ERROR_INTERNET_INCORRECT_PASSWORD = 12014;
inline constexpr DWORD ERROR_INTERNET_LOGIN_FAILURE = 12015;
inline constexpr DWORD ERROR_INTERNET_INVALID_OPERATION = 12016;
inline constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
inline constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
inline constexpr DWORD ERROR_FTP_TRANSFER_IN_PROGRESS = 12110;
inline constexpr DWORD ERROR_FTP_DROPPED = 12111;
inline constexpr DWORD ERROR_FTP_NO_PASSIVE_MODE = 12112;
inline constexpr DWORD ERROR_INTERNET_INVALID_PROXY_REQUEST = 12049;
inline constexpr DWORD ERROR_INTERNET_INVALID_SERVER_RESPONSE = 12152;
inline constexpr DWORD ERROR_INTERNET_DISCONNECTED = 12163;

}  // namespace orvex::win32
