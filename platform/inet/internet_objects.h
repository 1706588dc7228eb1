#pragma once
// What the API's handles stand for: a session (InternetOpenA), a logged-in
// FTP connection (InternetConnectA), a listing being enumerated
// (FtpFindFirstFileA) and an open remote file (FtpOpenFileA).

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/inet/file_transfer.h"
#include "platform/inet/ftp_connection.h"
#include "platform/inet/handle_table.h"
#include "platform/inet/options.h"
#include "platform/inet/proxy.h"
#include "platform/inet/remote_entry.h"
#include "platform/inet/tls_settings.h"

namespace orvex::inet {

struct SessionObject : HandleObject {
  std::optional<ProxySettings> proxy;
  Options options;
  // Set by the status callback: the trace of a connection opened later,
  // given the context the connection was opened with.
  std::function<ControlTrace(std::uintptr_t context)> trace_for;
  // The API's callback behind trace_for, kept to be handed back on change.
  std::uintptr_t status_callback = 0;
  TlsSettings tls;
};

struct ConnectionObject : HandleObject {
  std::shared_ptr<FtpConnection> connection;
};

// The entries not yet handed out: each one leaves as it is read.
struct ListingObject : HandleObject {
  RemoteEntries entries;
};

struct FileObject : HandleObject {
  std::unique_ptr<FileTransfer> transfer;
};

}  // namespace orvex::inet
