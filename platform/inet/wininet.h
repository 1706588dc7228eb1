#pragma once
// The internet client API the FTP session calls, shaped after WinInet's ANSI
// FTP functions and implemented on our own FTP engine (platform/inet).
//
// Contract shared by every function:
// - Calls are synchronous. A failing call returns FALSE or handle 0 and sets
//   the calling thread's last error (GetLastError); a success may leave the
//   last error as it was.
// - Handles are 32-bit numbers, 0 = none. Closing a handle closes the handles
//   opened under it. A closed or unknown handle fails with
//   ERROR_INVALID_HANDLE, a handle of the wrong kind with
//   ERROR_INTERNET_INCORRECT_HANDLE_TYPE.
// - A server's error reply is ERROR_INTERNET_EXTENDED_ERROR;
//   InternetGetLastResponseInfoA then returns the reply's code and text (as
//   it does for ERROR_FTP_DROPPED caused by a 421 reply).
//   A refused login is ERROR_INTERNET_INCORRECT_PASSWORD. A control connection
//   that was closed, reset or dropped gives ERROR_INTERNET_CONNECTION_ABORTED,
//   ERROR_INTERNET_CONNECTION_RESET or ERROR_FTP_DROPPED (the numbers to
//   reconnect on); after a timeout the connection gives ERROR_FTP_DROPPED.
// - While a file is open on a connection, every other call on that connection
//   fails with ERROR_FTP_TRANSFER_IN_PROGRESS.
// - A call cut short by a cancellation (InternetSetCancelDescriptor) fails
//   with ERROR_INTERNET_OPERATION_CANCELLED.
// - Paths and names are UTF-8. One containing CR or LF is refused with
//   ERROR_INVALID_NAME before anything is sent.

#include <cstdint>

#include "platform/win32/error_numbers.h"
#include "platform/win32/file_time.h"
#include "platform/win32/format_message.h"
#include "platform/win32/last_error.h"
#include "platform/win32/types.h"

namespace orvex::wininet {

using namespace orvex::win32;  // DWORD, FILETIME, GetLastError, error numbers

using HINTERNET = std::uint32_t;
using INTERNET_PORT = std::uint16_t;
using LPCSTR = const char*;

inline constexpr INTERNET_PORT INTERNET_INVALID_PORT_NUMBER = 0;
inline constexpr INTERNET_PORT INTERNET_DEFAULT_FTP_PORT = 21;

inline constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
inline constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
inline constexpr DWORD INTERNET_OPEN_TYPE_PROXY = 3;

inline constexpr DWORD INTERNET_SERVICE_FTP = 1;

inline constexpr DWORD INTERNET_FLAG_PASSIVE = 0x08000000;
inline constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;

inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;

inline constexpr DWORD FTP_TRANSFER_TYPE_UNKNOWN = 0;  // transferred as binary
inline constexpr DWORD FTP_TRANSFER_TYPE_ASCII = 1;
inline constexpr DWORD FTP_TRANSFER_TYPE_BINARY = 2;
// Not in WinInet, for FtpOpenFileA with GENERIC_WRITE: the file is a new one
// of the caller's own (a temporary name), so STOR may go out while the data
// connection is still being made, a round trip sooner. Should that
// connection fail, an empty file of that name may be left.
inline constexpr DWORD FTP_FLAG_NEW_FILE = 0x100;

inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;

// Options of InternetSetOptionA; values are DWORD milliseconds.
inline constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;
inline constexpr DWORD INTERNET_OPTION_SEND_TIMEOUT = 5;
inline constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;
inline constexpr DWORD INTERNET_OPTION_DATA_SEND_TIMEOUT = 7;
inline constexpr DWORD INTERNET_OPTION_DATA_RECEIVE_TIMEOUT = 8;

// Longest name a listing record carries, in bytes without the NUL. Entries
// with longer names are left out of listings, never cut.
inline constexpr DWORD kMaximumFindName = 1023;

// One listing entry.
// - dwFileAttributes: FILE_ATTRIBUTE_DIRECTORY for folders,
//   FILE_ATTRIBUTE_NORMAL for files, FILE_ATTRIBUTE_REPARSE_POINT for
//   symbolic links (reported as files; never as folders).
// - ftLastWriteTime: local time (servers that give UTC are converted; times
//   from LIST are taken as the server shows them); zero when unknown. The
//   creation and access times carry the same value.
// - nFileSizeHigh/nFileSizeLow: the 64-bit size (0 for folders).
// - cFileName: the UTF-8 name, NUL-terminated. Never contains "/" or "\".
// Devices, sockets and pipes are not listed.
struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes = 0;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh = 0;
  DWORD nFileSizeLow = 0;
  DWORD dwReserved0 = 0;
  DWORD dwReserved1 = 0;
  char cFileName[kMaximumFindName + 1] = {};
  char cAlternateFileName[14] = {};

  std::uint64_t FileSize() const {
    return (static_cast<std::uint64_t>(nFileSizeHigh) << 32) | nFileSizeLow;
  }
};

// access_type: INTERNET_OPEN_TYPE_DIRECT, or INTERNET_OPEN_TYPE_PROXY with
// `proxy` "host:port" (HTTP CONNECT), "socks=host:port" or
// "socks5://host:port" (SOCKS5). A proxy carries control and data
// connections; data connections through a proxy are always passive.
// PRECONFIG is treated as DIRECT (no system proxy settings here).
HINTERNET InternetOpenA(LPCSTR agent, DWORD access_type, LPCSTR proxy,
                        LPCSTR proxy_bypass, DWORD flags);

// Connects and logs in. `server` is a name or address; with port
// INTERNET_INVALID_PORT_NUMBER a server of the form "host:port" or
// "[IPv6 address]:port" uses that port, otherwise 21. An empty or null user
// logs in anonymously. INTERNET_FLAG_PASSIVE selects passive data connections
// (EPSV, then PASV), otherwise active (EPRT, then PORT).
HINTERNET InternetConnectA(HINTERNET session, LPCSTR server, INTERNET_PORT port,
                           LPCSTR user, LPCSTR password, DWORD service,
                           DWORD flags, DWORD_PTR context);

// Closes the handle and every handle opened under it. Closing an open
// upload does not report the upload's outcome: close it on its own first.
// An open file's close returns FALSE when the server refused or did not
// complete an upload (ERROR_INTERNET_EXTENDED_ERROR with the reply); the
// handle is closed either way.
BOOL InternetCloseHandle(HINTERNET handle);

// The calling thread's last server reply: `error` receives the reply's code
// when the last call failed because of it, otherwise 0. With a null buffer or
// a too small one, *length receives the size needed (with the NUL) and the
// call fails with ERROR_INSUFFICIENT_BUFFER; otherwise *length receives the
// text's length without the NUL.
BOOL InternetGetLastResponseInfoA(DWORD* error, char* buffer, DWORD* length);

BOOL FtpSetCurrentDirectoryA(HINTERNET connection, LPCSTR directory);
// *length: the buffer size in; the path's length (without NUL) out. A too
// small buffer fails with ERROR_INSUFFICIENT_BUFFER and the size needed.
BOOL FtpGetCurrentDirectoryA(HINTERNET connection, char* directory, DWORD* length);

// Lists `search` (null or empty: the current folder; otherwise a path, no
// wildcards). The whole listing is fetched before this returns, so other
// calls on the connection may follow while it is enumerated. Returns 0 with
// ERROR_NO_MORE_FILES for an empty folder, and only then: a listing that
// fails in any way (refused, cut short, truncated, too slow) returns 0 with
// its own error.
HINTERNET FtpFindFirstFileA(HINTERNET connection, LPCSTR search,
                            WIN32_FIND_DATAA* find_data, DWORD flags,
                            DWORD_PTR context);
// FALSE with ERROR_NO_MORE_FILES after the last entry.
BOOL InternetFindNextFileA(HINTERNET find, WIN32_FIND_DATAA* find_data);

// Not in WinInet: the listing FtpFindFirstFileA makes, each entry handed to
// `callback` (with `context`) while the listing arrives instead of being
// kept, for a caller that builds its own items from it: a large folder is
// then never held twice, and the caller's work overlaps the transfer.
// TRUE only when the whole listing arrived and the server confirmed it (an
// empty folder: TRUE, no call). FALSE with the listing's error otherwise,
// also after entries were handed on: those then describe no folder and
// must be thrown away. A callback returning FALSE stops the listing, which
// fails with ERROR_INTERNET_OPERATION_CANCELLED; stopped while the data
// still arrives, it gives up the connection too (as a dropped one: the
// next call fails with ERROR_FTP_DROPPED), since some servers would send
// the rest of the stopped listing inside the next one. The callback must send
// nothing on the connection (FtpGetServerTraits, which sends nothing, says
// which form of listing is arriving). Omitted entries as for
// FtpFindFirstFileA.
using FTP_LISTING_CALLBACK = BOOL (*)(const WIN32_FIND_DATAA* entry, void* context);
BOOL FtpListFilesA(HINTERNET connection, LPCSTR search, FTP_LISTING_CALLBACK callback, void* context);

// Not in WinInet: what the connection's most recent listing had to leave
// out, so that a caller never takes its absence for an absent item. Entry
// `index` (from 0); FALSE with ERROR_NO_MORE_FILES past the last, and for a
// listing that left nothing out or failed.
// - dwReason: FTP_OMITTED_UNUSABLE_NAME for a name holding "/", "\" or NUL
//   or longer than kMaximumFindName bytes; FTP_OMITTED_NOT_A_FILE for a
//   device, socket or pipe.
// - dwFileAttributes: FILE_ATTRIBUTE_DIRECTORY for a folder, otherwise
//   FILE_ATTRIBUTE_NORMAL.
// - cFileName: the name as listed, cut after kMaximumFindName bytes;
//   dwNameLength bytes of it are the name (NUL bytes included).
inline constexpr DWORD FTP_OMITTED_UNUSABLE_NAME = 1;
inline constexpr DWORD FTP_OMITTED_NOT_A_FILE = 2;
struct FTP_OMITTED_ENTRY {
  DWORD dwReason = 0;
  DWORD dwFileAttributes = 0;
  DWORD dwNameLength = 0;
  char cFileName[kMaximumFindName + 1] = {};
};
BOOL FtpGetOmittedEntryA(HINTERNET connection, DWORD index, FTP_OMITTED_ENTRY* entry);

BOOL FtpDeleteFileA(HINTERNET connection, LPCSTR file);
BOOL FtpRenameFileA(HINTERNET connection, LPCSTR existing, LPCSTR new_name);
BOOL FtpCreateDirectoryA(HINTERNET connection, LPCSTR directory);
BOOL FtpRemoveDirectoryA(HINTERNET connection, LPCSTR directory);

// access: GENERIC_READ (download) or GENERIC_WRITE (upload). flags: the
// transfer type (FTP_TRANSFER_TYPE_ASCII converts line ends; BINARY and
// UNKNOWN move bytes untouched).
HINTERNET FtpOpenFileA(HINTERNET connection, LPCSTR file, DWORD access,
                       DWORD flags, DWORD_PTR context);
// Blocks until `size` bytes or the end of the file; *read is 0 at the end.
BOOL InternetReadFile(HINTERNET file, void* buffer, DWORD size, DWORD* read);
// Sends all bytes or fails.
BOOL InternetWriteFile(HINTERNET file, const void* buffer, DWORD size,
                       DWORD* written);

// Not in WinInet: the file times of RFC 3659 and what a server offers.
//
// FtpGetFileTimeA: the file's modification time in UTC (MDTM), whole
// seconds. FtpSetFileTimeA: sets it (MFMT, or "MDTM time path" on a server
// that offers MDTM but not MFMT; a server that turns that form down once
// is not asked again on the connection, and the refusal counts as not
// offered). Both fail with
// ERROR_INTERNET_INVALID_OPERATION, sending nothing, when the server's
// features do not offer them; a refusal is ERROR_INTERNET_EXTENDED_ERROR.
BOOL FtpGetFileTimeA(HINTERNET connection, LPCSTR file, SYSTEMTIME* utc);
BOOL FtpSetFileTimeA(HINTERNET connection, LPCSTR file, const SYSTEMTIME* utc);
// FtpRenameFileA that first sets the time of `existing` as FtpSetFileTimeA
// does, the commands sent together so that the two take one round trip. The
// result is the rename's. `*time_error` is 0 when the time was set, else
// the error FtpSetFileTimeA would have given; when the rename worked and the
// time did not, InternetGetLastResponseInfoA gives the time command's reply.
BOOL FtpRenameFileSettingTimeA(HINTERNET connection, LPCSTR existing, LPCSTR new_name,
                               const SYSTEMTIME* utc, DWORD* time_error);
// Not in WinInet: after FtpRenameFileA or FtpRenameFileSettingTimeA failed
// with ERROR_INTERNET_EXTENDED_ERROR, whether the server accepted the
// existing name and refused the new one for good (a 5xx answer to RNTO).
BOOL FtpRenameTargetRefused(HINTERNET connection, BOOL* refused);

// What the server behind a connection does, as learnt so far (the listing
// bits settle with the connection's first listing):
// - FTP_TRAIT_MACHINE_LISTING: listings are MLSD (UTC times with seconds);
//   otherwise LIST, whose times are the server's wall clock in minutes.
// - FTP_TRAIT_HIDDEN_FILES_LISTED: listings include dot files.
// - FTP_TRAIT_FILE_TIMES: FtpGetFileTimeA works. FTP_TRAIT_SETS_FILE_TIMES:
//   FtpSetFileTimeA is known to work: MFMT is offered, or the "MDTM time
//   path" form has worked on this connection. FTP_TRAIT_MAY_SET_FILE_TIMES:
//   it is worth trying (MFMT, or MDTM not yet refused with a time).
inline constexpr DWORD FTP_TRAIT_MACHINE_LISTING = 0x1;
inline constexpr DWORD FTP_TRAIT_HIDDEN_FILES_LISTED = 0x2;
inline constexpr DWORD FTP_TRAIT_FILE_TIMES = 0x4;
inline constexpr DWORD FTP_TRAIT_SETS_FILE_TIMES = 0x8;
inline constexpr DWORD FTP_TRAIT_MAY_SET_FILE_TIMES = 0x10;
BOOL FtpGetServerTraits(HINTERNET connection, DWORD* traits);

// Time limits (INTERNET_OPTION_*_TIMEOUT, a DWORD of milliseconds) for
// handle 0 (defaults of sessions opened later), a session (its connections
// opened later) or a connection (from now on). Send and receive set the reply
// limit, the data options the data limit.
BOOL InternetSetOptionA(HINTERNET handle, DWORD option, const void* buffer,
                        DWORD length);

// Not in WinInet (where closing a handle from another thread cancels its
// call): a descriptor whose readability cancels the engine's waits, for a
// program whose signal handler writes a byte to a pipe on Ctrl-C. While it
// is readable, a call waiting on the network fails at once with
// ERROR_INTERNET_OPERATION_CANCELLED; calls made after that (tidying up)
// still run but end, cancelled, `grace_milliseconds` after the first was
// cancelled. A cancelled call gives up its control connection: the next
// call on it fails with ERROR_FTP_DROPPED. -1 watches nothing (the
// default); the setting applies to every connection.
BOOL InternetSetCancelDescriptor(int descriptor, DWORD grace_milliseconds);

// Status callback, after WinInet's. Set on a session handle, it applies to
// the connections opened under it afterwards (from their greeting on) and is
// called on the calling thread, during the call that causes the status, with
// the session handle and the context given to InternetConnectA. Statuses
// (numbers of this API's own, not WinInet's):
// - INTERNET_STATUS_CONTROL_COMMAND_SENT: `information` is the command line
//   sent, without CR LF, with the argument of PASS and ACCT shown as "****";
// - INTERNET_STATUS_CONTROL_REPLY_RECEIVED: one reply line as received.
// `length` is the text's length; the text is not NUL-terminated. No callback
// (the default) costs nothing. Returns the callback set before (null for
// none), or INTERNET_INVALID_STATUS_CALLBACK with the last error set for a
// handle that is not a session.
using INTERNET_STATUS_CALLBACK = void (*)(HINTERNET handle, DWORD_PTR context, DWORD status,
                                          const void* information, DWORD length);
inline constexpr DWORD INTERNET_STATUS_CONTROL_COMMAND_SENT = 0x8001;
inline constexpr DWORD INTERNET_STATUS_CONTROL_REPLY_RECEIVED = 0x8002;
inline const INTERNET_STATUS_CALLBACK INTERNET_INVALID_STATUS_CALLBACK =
    reinterpret_cast<INTERNET_STATUS_CALLBACK>(static_cast<std::uintptr_t>(-1));
INTERNET_STATUS_CALLBACK InternetSetStatusCallback(HINTERNET session, INTERNET_STATUS_CALLBACK callback);

}  // namespace orvex::wininet
