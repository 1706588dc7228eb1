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
inline constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;

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
inline constexpr DWORD ERROR_INTERNET_OPERATION_CANCELLED = 12017;
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
// TLS: the certificate's dates, its names, its chain, a pinned certificate
// that does not match, and a handshake or TLS stream that failed.
inline constexpr DWORD ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037;
inline constexpr DWORD ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
inline constexpr DWORD ERROR_INTERNET_INVALID_CA = 12045;
inline constexpr DWORD ERROR_INTERNET_SEC_CERT_ERRORS = 12055;
inline constexpr DWORD ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;

// True for the TLS numbers above: their details are in the engine's security
// report, not in a server reply.
constexpr bool IsSecurityError(DWORD number) {
  return number == ERROR_INTERNET_SEC_CERT_DATE_INVALID ||
         number == ERROR_INTERNET_SEC_CERT_CN_INVALID || number == ERROR_INTERNET_INVALID_CA ||
         number == ERROR_INTERNET_SEC_CERT_ERRORS ||
         number == ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
}

}  // namespace orvex::win32
