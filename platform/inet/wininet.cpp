#include "platform/inet/wininet.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/inet/cancellation.h"
#include "platform/inet/host_port.h"
#include "platform/inet/internet_objects.h"

namespace orvex::wininet {
namespace {

using inet::ConnectionObject;
using inet::FileObject;
using inet::HandleTable;
using inet::ListingObject;
using inet::Reply;
using inet::SessionObject;
using inet::Status;

// The last reply the calling thread saw, for InternetGetLastResponseInfoA.
struct LastResponse {
  DWORD code = 0;
  std::string text;
};
thread_local LastResponse last_response;

BOOL Fail(DWORD error) {
  SetLastError(error);
  return kFalse;
}

// Records the reply behind a call's outcome; returns whether the call
// succeeded and sets the last error when it did not.
BOOL Finish(Status status, const Reply& reply) {
  last_response.text = reply.text;
  // A 421 that ended the session is the server's reason for the drop.
  const bool from_reply =
      status.error() == ERROR_INTERNET_EXTENDED_ERROR ||
      status.error() == ERROR_INTERNET_INCORRECT_PASSWORD ||
      (status.error() == ERROR_FTP_DROPPED && reply.code == 421);
  last_response.code = !status.ok() && from_reply ? static_cast<DWORD>(reply.code) : 0;
  if (!status.ok()) return Fail(status.error());
  return kTrue;
}

// A time FtpSetFileTimeA can send: whole fields of a date from 1900 on.
std::optional<inet::CivilTime> SettableTime(const SYSTEMTIME* utc) {
  if (utc == nullptr) return std::nullopt;
  const inet::CivilTime time{utc->wYear, utc->wMonth, utc->wDay, utc->wHour, utc->wMinute,
                             utc->wSecond};
  if (time.year < 1900 || time.year > 9999 || time.month < 1 || time.month > 12 ||
      time.day < 1 || time.day > 31 || time.hour > 23 || time.minute > 59 || time.second > 59) {
    return std::nullopt;
  }
  return time;
}

template <typename T>
std::shared_ptr<T> Lookup(HINTERNET handle) {
  const auto object = HandleTable::Instance().Find(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto typed = std::dynamic_pointer_cast<T>(object);
  if (!typed) SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
  return typed;
}

std::shared_ptr<inet::FtpConnection> LookupConnection(HINTERNET handle) {
  const auto object = Lookup<ConnectionObject>(handle);
  return object ? object->connection : nullptr;
}

// Runs `operation` on the connection behind `handle` with a path argument.
template <typename Operation>
BOOL WithPath(HINTERNET handle, LPCSTR path, Operation operation) {
  const auto connection = LookupConnection(handle);
  if (!connection) return kFalse;
  if (path == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return Finish(operation(*connection, std::string_view(path)),
                connection->last_reply());
}

void FillFindData(const inet::RemoteEntry& entry, WIN32_FIND_DATAA& data) {
  data = WIN32_FIND_DATAA{};
  data.dwFileAttributes = entry.attributes;
  data.ftCreationTime = entry.last_write_time;
  data.ftLastAccessTime = entry.last_write_time;
  data.ftLastWriteTime = entry.last_write_time;
  data.nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
  data.nFileSizeLow = static_cast<DWORD>(entry.size & 0xffffffffu);
  std::memcpy(data.cFileName, entry.name.data(), entry.name.size());
  data.cFileName[entry.name.size()] = '\0';
}

HINTERNET AddHandle(std::shared_ptr<inet::HandleObject> object, HINTERNET parent) {
  const HINTERNET handle = HandleTable::Instance().Add(std::move(object), parent);
  if (handle == 0) SetLastError(ERROR_INTERNET_OUT_OF_HANDLES);
  return handle;
}

}  // namespace

HINTERNET InternetOpenA(LPCSTR /*agent*/, DWORD access_type, LPCSTR proxy,
                        LPCSTR /*proxy_bypass*/, DWORD /*flags*/) {
  auto session = std::make_shared<SessionObject>();
  session->options = inet::DefaultOptions();
  if (access_type == INTERNET_OPEN_TYPE_PROXY) {
    session->proxy = inet::ParseProxy(proxy == nullptr ? "" : proxy);
    if (!session->proxy) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
  } else if (access_type != INTERNET_OPEN_TYPE_DIRECT &&
             access_type != INTERNET_OPEN_TYPE_PRECONFIG) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return AddHandle(std::move(session), 0);
}

HINTERNET InternetConnectA(HINTERNET session_handle, LPCSTR server,
                           INTERNET_PORT port, LPCSTR user, LPCSTR password,
                           DWORD service, DWORD flags, DWORD_PTR context) {
  const auto session = Lookup<SessionObject>(session_handle);
  if (!session) return 0;
  if (server == nullptr || *server == '\0' || service != INTERNET_SERVICE_FTP) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // A port in the server name ("host:2121", "[::1]:2121") applies when no
  // explicit port is given; an explicit port wins over it.
  inet::ConnectParameters parameters;
  const std::optional<inet::HostPort> split = inet::SplitHostPort(server);
  if (!split || split->host.empty()) {
    SetLastError(ERROR_INTERNET_NAME_NOT_RESOLVED);
    return 0;
  }
  parameters.host = split->host;
  // Implicit TLS has a port of its own (990).
  const INTERNET_PORT default_port =
      session->tls.mode == inet::TlsMode::Implicit ? 990 : INTERNET_DEFAULT_FTP_PORT;
  if (port != INTERNET_INVALID_PORT_NUMBER) {
    parameters.port = port;
  } else {
    parameters.port = split->port != 0 ? split->port : default_port;
  }
  parameters.user = user == nullptr ? "" : user;
  parameters.password = password == nullptr ? "" : password;
  parameters.passive = (flags & INTERNET_FLAG_PASSIVE) != 0;
  parameters.proxy = session->proxy;
  parameters.options = session->options;
  if (session->trace_for) parameters.trace = session->trace_for(context);
  parameters.tls = session->tls;
  // A TLS report from an earlier connection must not pass for this one's.
  if (parameters.tls.mode != inet::TlsMode::None) inet::RecordSecurityReport(inet::SecurityReport());

  auto object = std::make_shared<ConnectionObject>();
  Reply reply;
  if (!Finish(inet::FtpConnection::Open(parameters, object->connection, reply),
              reply)) {
    return 0;
  }
  return AddHandle(std::move(object), session_handle);
}

BOOL InternetCloseHandle(HINTERNET handle) {
  // An open file reports its outcome here (an upload the server refused).
  if (const auto file = HandleTable::Instance().FindAs<FileObject>(handle)) {
    const Status status = file->transfer->Close();
    const Reply reply = file->transfer->last_reply();
    HandleTable::Instance().Remove(handle);
    return Finish(status, reply);
  }
  if (!HandleTable::Instance().Remove(handle)) return Fail(ERROR_INVALID_HANDLE);
  return kTrue;
}

BOOL InternetGetLastResponseInfoA(DWORD* error, char* buffer, DWORD* length) {
  if (error == nullptr || length == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  *error = last_response.code;
  const std::size_t needed = last_response.text.size() + 1;
  if (buffer == nullptr || *length < needed) {
    *length = static_cast<DWORD>(needed);
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(buffer, last_response.text.c_str(), needed);
  *length = static_cast<DWORD>(needed - 1);
  return kTrue;
}

BOOL FtpSetCurrentDirectoryA(HINTERNET connection, LPCSTR directory) {
  return WithPath(connection, directory,
                  [](inet::FtpConnection& ftp, std::string_view path) {
                    return ftp.ChangeDirectory(path);
                  });
}

BOOL FtpGetCurrentDirectoryA(HINTERNET handle, char* directory, DWORD* length) {
  const auto connection = LookupConnection(handle);
  if (!connection) return kFalse;
  if (length == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  std::string path;
  if (!Finish(connection->CurrentDirectory(path), connection->last_reply())) {
    return kFalse;
  }
  if (directory == nullptr || *length < path.size() + 1) {
    *length = static_cast<DWORD>(path.size() + 1);
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(directory, path.c_str(), path.size() + 1);
  *length = static_cast<DWORD>(path.size());
  return kTrue;
}

HINTERNET FtpFindFirstFileA(HINTERNET handle, LPCSTR search,
                            WIN32_FIND_DATAA* find_data, DWORD /*flags*/,
                            DWORD_PTR /*context*/) {
  const auto connection = LookupConnection(handle);
  if (!connection) return 0;
  if (find_data == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto listing = std::make_shared<ListingObject>();
  if (!Finish(connection->List(search == nullptr ? "" : search, listing->entries),
              connection->last_reply())) {
    return 0;
  }
  if (listing->entries.empty()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return 0;
  }
  FillFindData(listing->entries.front(), *find_data);
  listing->entries.pop_front();
  return AddHandle(std::move(listing), handle);
}

BOOL InternetFindNextFileA(HINTERNET handle, WIN32_FIND_DATAA* find_data) {
  const auto listing = Lookup<ListingObject>(handle);
  if (!listing) return kFalse;
  if (find_data == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (listing->entries.empty()) return Fail(ERROR_NO_MORE_FILES);
  FillFindData(listing->entries.front(), *find_data);
  listing->entries.pop_front();
  return kTrue;
}

BOOL FtpListFilesA(HINTERNET handle, LPCSTR search, FTP_LISTING_CALLBACK callback, void* context) {
  const auto connection = LookupConnection(handle);
  if (!connection) return kFalse;
  if (callback == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  WIN32_FIND_DATAA data;
  const inet::FtpConnection::EntrySink sink = [&](inet::RemoteEntry& entry) {
    FillFindData(entry, data);
    return callback(&data, context) != kFalse;
  };
  return Finish(connection->List(search == nullptr ? "" : search, sink), connection->last_reply());
}

BOOL FtpGetOmittedEntryA(HINTERNET handle, DWORD index, FTP_OMITTED_ENTRY* entry) {
  const auto connection = LookupConnection(handle);
  if (!connection) return kFalse;
  if (entry == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  const auto& omissions = connection->omissions();
  if (index >= omissions.size()) return Fail(ERROR_NO_MORE_FILES);
  const inet::OmittedEntry& omitted = omissions[index];
  *entry = FTP_OMITTED_ENTRY{};
  entry->dwReason = omitted.reason == inet::Omission::NotAFile ? FTP_OMITTED_NOT_A_FILE
                                                               : FTP_OMITTED_UNUSABLE_NAME;
  entry->dwFileAttributes = omitted.folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  const std::size_t length = std::min<std::size_t>(omitted.name.size(), kMaximumFindName);
  std::memcpy(entry->cFileName, omitted.name.data(), length);
  entry->dwNameLength = static_cast<DWORD>(length);
  return kTrue;
}

BOOL FtpDeleteFileA(HINTERNET connection, LPCSTR file) {
  return WithPath(connection, file, [](inet::FtpConnection& ftp, std::string_view path) {
    return ftp.DeleteFile(path);
  });
}

BOOL FtpRenameFileA(HINTERNET connection, LPCSTR existing, LPCSTR new_name) {
  if (new_name == nullptr) {
    if (!LookupConnection(connection)) return kFalse;
    return Fail(ERROR_INVALID_PARAMETER);
  }
  return WithPath(connection, existing,
                  [new_name](inet::FtpConnection& ftp, std::string_view path) {
                    return ftp.Rename(path, new_name);
                  });
}

BOOL FtpCreateDirectoryA(HINTERNET connection, LPCSTR directory) {
  return WithPath(connection, directory,
                  [](inet::FtpConnection& ftp, std::string_view path) {
                    return ftp.CreateDirectory(path);
                  });
}

BOOL FtpRemoveDirectoryA(HINTERNET connection, LPCSTR directory) {
  return WithPath(connection, directory,
                  [](inet::FtpConnection& ftp, std::string_view path) {
                    return ftp.RemoveDirectory(path);
                  });
}

HINTERNET FtpOpenFileA(HINTERNET handle, LPCSTR file, DWORD access, DWORD flags,
                       DWORD_PTR /*context*/) {
  const auto connection = LookupConnection(handle);
  if (!connection) return 0;
  if (file == nullptr || (access != GENERIC_READ && access != GENERIC_WRITE)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const inet::TransferType type = (flags & 3) == FTP_TRANSFER_TYPE_ASCII
                                      ? inet::TransferType::Ascii
                                      : inet::TransferType::Binary;
  const inet::TransferDirection direction = access == GENERIC_READ
                                                ? inet::TransferDirection::Download
                                                : inet::TransferDirection::Upload;
  auto object = std::make_shared<FileObject>();
  if (!Finish(connection->OpenFile(file, direction, type, object->transfer, (flags & FTP_FLAG_NEW_FILE) != 0),
              connection->last_reply())) {
    return 0;
  }
  return AddHandle(std::move(object), handle);
}

BOOL InternetReadFile(HINTERNET handle, void* buffer, DWORD size, DWORD* read) {
  const auto file = Lookup<FileObject>(handle);
  if (!file) return kFalse;
  if (read == nullptr || (buffer == nullptr && size != 0)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  std::size_t count = 0;
  const Status status = file->transfer->Read(buffer, size, count);
  *read = static_cast<DWORD>(count);
  if (status.ok()) return kTrue;
  return Finish(status, file->transfer->last_reply());
}

BOOL InternetWriteFile(HINTERNET handle, const void* buffer, DWORD size,
                       DWORD* written) {
  const auto file = Lookup<FileObject>(handle);
  if (!file) return kFalse;
  if (written == nullptr || (buffer == nullptr && size != 0)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  std::size_t count = 0;
  const Status status = file->transfer->Write(buffer, size, count);
  *written = static_cast<DWORD>(count);
  if (status.ok()) return kTrue;
  return Finish(status, file->transfer->last_reply());
}

BOOL FtpGetFileTimeA(HINTERNET connection, LPCSTR file, SYSTEMTIME* utc) {
  if (utc == nullptr) {
    if (!LookupConnection(connection)) return kFalse;
    return Fail(ERROR_INVALID_PARAMETER);
  }
  return WithPath(connection, file, [utc](inet::FtpConnection& ftp, std::string_view path) {
    inet::CivilTime time;
    const Status status = ftp.ModificationTime(path, time);
    if (status.ok()) {
      *utc = SYSTEMTIME{};
      utc->wYear = static_cast<WORD>(time.year);
      utc->wMonth = static_cast<WORD>(time.month);
      utc->wDay = static_cast<WORD>(time.day);
      utc->wHour = static_cast<WORD>(time.hour);
      utc->wMinute = static_cast<WORD>(time.minute);
      utc->wSecond = static_cast<WORD>(time.second);
    }
    return status;
  });
}

BOOL FtpSetFileTimeA(HINTERNET connection, LPCSTR file, const SYSTEMTIME* utc) {
  const std::optional<inet::CivilTime> time = SettableTime(utc);
  if (!time) {
    if (!LookupConnection(connection)) return kFalse;
    return Fail(ERROR_INVALID_PARAMETER);
  }
  return WithPath(connection, file, [&time](inet::FtpConnection& ftp, std::string_view path) {
    return ftp.SetModificationTime(path, *time);
  });
}

BOOL FtpRenameFileSettingTimeA(HINTERNET connection, LPCSTR existing, LPCSTR new_name,
                               const SYSTEMTIME* utc, DWORD* time_error) {
  const std::optional<inet::CivilTime> time = SettableTime(utc);
  const auto ftp = LookupConnection(connection);
  if (!ftp) return kFalse;
  if (!time || existing == nullptr || new_name == nullptr || time_error == nullptr) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  Status time_status;
  const Status status = ftp->RenameSettingTime(existing, new_name, *time, time_status);
  *time_error = time_status.ok() ? 0 : time_status.error();
  if (!Finish(status, ftp->last_reply())) return kFalse;
  // The rename worked; the reply on record is the time command's refusal.
  if (time_status.error() == ERROR_INTERNET_EXTENDED_ERROR) {
    last_response.code = static_cast<DWORD>(ftp->last_reply().code);
  }
  return kTrue;
}

BOOL FtpRenameTargetRefused(HINTERNET connection, BOOL* refused) {
  const auto ftp = LookupConnection(connection);
  if (!ftp) return kFalse;
  if (refused == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  *refused = ftp->rename_target_refused() ? kTrue : kFalse;
  return kTrue;
}

BOOL FtpGetServerTraits(HINTERNET handle, DWORD* traits) {
  const auto connection = LookupConnection(handle);
  if (!connection) return kFalse;
  if (traits == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  *traits = (connection->uses_mlsd() ? FTP_TRAIT_MACHINE_LISTING : 0) |
            (connection->lists_hidden_files() ? FTP_TRAIT_HIDDEN_FILES_LISTED : 0) |
            (connection->offers_file_times() ? FTP_TRAIT_FILE_TIMES : 0) |
            (connection->sets_file_times() ? FTP_TRAIT_SETS_FILE_TIMES : 0) |
            (connection->may_set_file_times() ? FTP_TRAIT_MAY_SET_FILE_TIMES : 0);
  return kTrue;
}

BOOL InternetSetCancelDescriptor(int descriptor, DWORD grace_milliseconds) {
  if (descriptor < -1) return Fail(ERROR_INVALID_PARAMETER);
  inet::WatchForCancellation(descriptor, std::chrono::milliseconds(grace_milliseconds));
  return kTrue;
}

BOOL InternetSetOptionA(HINTERNET handle, DWORD option, const void* buffer,
                        DWORD length) {
  if (buffer == nullptr || length != sizeof(DWORD)) {
    return Fail(ERROR_INTERNET_BAD_OPTION_LENGTH);
  }
  DWORD milliseconds = 0;
  std::memcpy(&milliseconds, buffer, sizeof milliseconds);
  const auto apply = [&](inet::Options& options) {
    const std::chrono::milliseconds value(milliseconds);
    switch (option) {
      case INTERNET_OPTION_CONNECT_TIMEOUT:
        options.connect_timeout = value;
        return true;
      case INTERNET_OPTION_SEND_TIMEOUT:
      case INTERNET_OPTION_RECEIVE_TIMEOUT:
        options.reply_timeout = value;
        return true;
      case INTERNET_OPTION_DATA_SEND_TIMEOUT:
      case INTERNET_OPTION_DATA_RECEIVE_TIMEOUT:
        options.data_timeout = value;
        return true;
      default:
        return false;
    }
  };
  if (handle == 0) {
    inet::Options options = inet::DefaultOptions();
    if (!apply(options)) return Fail(ERROR_INTERNET_INVALID_OPTION);
    inet::SetDefaultOptions(options);
    return kTrue;
  }
  const auto object = HandleTable::Instance().Find(handle);
  if (!object) return Fail(ERROR_INVALID_HANDLE);
  if (const auto session = std::dynamic_pointer_cast<SessionObject>(object)) {
    return apply(session->options) ? kTrue : Fail(ERROR_INTERNET_INVALID_OPTION);
  }
  if (const auto connection = std::dynamic_pointer_cast<ConnectionObject>(object)) {
    inet::Options options = connection->connection->options();
    if (!apply(options)) return Fail(ERROR_INTERNET_INVALID_OPTION);
    connection->connection->set_options(options);
    return kTrue;
  }
  return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
}

}  // namespace orvex::wininet

namespace orvex::wininet {

INTERNET_STATUS_CALLBACK InternetSetStatusCallback(HINTERNET handle, INTERNET_STATUS_CALLBACK callback) {
  const auto session = HandleTable::Instance().FindAs<SessionObject>(handle);
  if (!session) {
    SetLastError(HandleTable::Instance().Find(handle) ? ERROR_INTERNET_INCORRECT_HANDLE_TYPE
                                                      : ERROR_INVALID_HANDLE);
    return INTERNET_INVALID_STATUS_CALLBACK;
  }
  const auto previous = reinterpret_cast<INTERNET_STATUS_CALLBACK>(session->status_callback);
  session->status_callback = reinterpret_cast<std::uintptr_t>(callback);
  session->trace_for = nullptr;
  if (callback != nullptr) {
    session->trace_for = [callback, handle](std::uintptr_t context) -> inet::ControlTrace {
      return [callback, handle, context](inet::TraceDirection direction, std::string_view line) {
        callback(handle, context,
                 direction == inet::TraceDirection::Sent ? INTERNET_STATUS_CONTROL_COMMAND_SENT
                                                         : INTERNET_STATUS_CONTROL_REPLY_RECEIVED,
                 line.data(), static_cast<DWORD>(line.size()));
      };
    };
  }
  return previous;
}

}  // namespace orvex::wininet
