// Opening and closing the session, error texts and the reconnect rule.

#include <cmath>

#include "ftp/cxFTP.h"
#include "platform/inet/wininet.h"
#include "platform/error.h"
#include "platform/numeric.h"
#include "resources/version_info.h"

namespace orvex {

using namespace orvex::wininet;

namespace {

constexpr std::size_t kSchemePrefixLength = 6;  // "ftp://"
constexpr DWORD kErrorTextBufferSize = 257;

constexpr char kUnableToReconnect[] = "Unable to reconnect to the server: ";

bool IsConnectionLost(DWORD number) {
  return number == ERROR_INTERNET_CONNECTION_ABORTED || number == ERROR_INTERNET_CONNECTION_RESET ||
         number == ERROR_FTP_DROPPED;
}

// The status callback of a traced session; the context is the cxFTP.
void TraceStatus(HINTERNET, DWORD_PTR context, DWORD status, const void* information, DWORD length) {
  const auto& handler = reinterpret_cast<cxFTP*>(context)->trace_handler();
  if (!handler) return;
  handler(status == INTERNET_STATUS_CONTROL_COMMAND_SENT,
          std::string(static_cast<const char*>(information), length));
}

}  // namespace

cxFTP::~cxFTP() { Disconnect(); }

bool cxFTP::Connect(const std::string& URL, const std::string& UserName,
                    const std::string& Password, std::string Port, const std::string& Proxy,
                    bool NoCache) {
  OperationScope scope(*this);
  // The owner's own Connect starts afresh; a reconnect's does not.
  if (operation_depth_ == 1) connection_lost_ = false;
  // Connect is itself the connection attempt: a failure while entering the
  // URL's folder must not start a reconnect of its own.
  reconnect_attempted_ = true;
  // Handles of an earlier connection would otherwise stay open until the
  // object dies; a reconnect goes through here as well.
  CloseHandles();
  // A new connection may reach another server (or the same one in another
  // time zone): its listing's clock is learnt afresh.
  detected_offset_.reset();
  offset_probed_ = false;
  zone_samples_.clear();

  Location_ = URL;
  NoCache_ = NoCache;
  connect_no_cache_ = NoCache;
  const auto slash = URL.find('/', kSchemePrefixLength);
  BaseLocation_ = slash == std::string::npos ? URL : URL.substr(0, slash);
  Server_ = BaseLocation_.size() > kSchemePrefixLength ? BaseLocation_.substr(kSchemePrefixLength)
                                                       : std::string();
  UserName_ = UserName;
  Password_ = Password;
  Proxy_ = Proxy;

  // Empty, not a number or 0: the default port. Any other number must name
  // a real port.
  INTERNET_PORT port_number = INTERNET_INVALID_PORT_NUMBER;
  if (IsNumeric(Port)) {
    const double value = std::nearbyint(ParseNumber(Port).value_or(0));
    if (!(value >= 0 && value <= 65535)) {
      LastError_ = "The port \"" + Printable(Port) + "\" is not a port number from 1 to 65535 (0: the default port 21) (" +
                   std::to_string(ERROR_INVALID_PARAMETER) + ")";
      WasConnected_ = false;
      return false;
    }
    port_number = static_cast<INTERNET_PORT>(value);
    Port_ = Port;
  }

  bool result = false;
  if (Proxy_.empty()) {
    hOpen_ = InternetOpenA(version::kApplicationTitle, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  } else {
    hOpen_ = InternetOpenA(version::kApplicationTitle, INTERNET_OPEN_TYPE_PROXY, Proxy_.c_str(),
                           nullptr, 0);
  }
  if (hOpen_ == 0) {
    // Only the proxy text can be refused here; say which and why.
    const DWORD error = GetLastError();
    LastError_ = Proxy_.empty()
                     ? GetErrorText(error)
                     : "The proxy \"" + Printable(Proxy_) +
                           "\" cannot be used: give it as HOST[:PORT], http://HOST[:PORT], "
                           "socks=HOST[:PORT] or socks5://HOST[:PORT], with a port from 1 to 65535 (" +
                           std::to_string(error) + ")";
  } else if (Security_.encryption != FTP_ENCRYPTION_NONE &&
             !InternetSetSecurityOptionsA(hOpen_, Security_)) {
    LastError_ = GetErrorText(GetLastError());
    CloseHandles();
  }
  if (hOpen_ != 0) {
    const DWORD flags = UsePassiveSemantics_ ? INTERNET_FLAG_PASSIVE : 0;
    if (on_trace_) InternetSetStatusCallback(hOpen_, TraceStatus);
    hConnection_ = InternetConnectA(hOpen_, Server_.c_str(), port_number, UserName_.c_str(),
                                    Password_.c_str(), INTERNET_SERVICE_FTP, flags,
                                    reinterpret_cast<DWORD_PTR>(this));
    SecurityReport_ = {};
    if (Security_.encryption != FTP_ENCRYPTION_NONE) InternetGetLastSecurityReportA(&SecurityReport_);
    if (hConnection_ == 0) {
      LastError_ = GetErrorText(GetLastError());
    } else {
      CurrentPath_ = ServerPath(URL);
      if (FtpSetCurrentDirectoryA(hConnection_, CurrentPath_.c_str())) {
        result = true;
      } else {
        HandleError(GetLastError());
        CloseHandles();
      }
    }
  }
  WasConnected_ = result;
  if (result) connection_lost_ = false;
  return result;
}

void cxFTP::Disconnect() {
  // The owner's own disconnect: nothing is lost, nothing to restore.
  connection_lost_ = false;
  CloseHandles();
}

void cxFTP::CloseHandles() {
  if (hConnection_ != 0) InternetCloseHandle(hConnection_);
  if (hOpen_ != 0) InternetCloseHandle(hOpen_);
  hConnection_ = 0;
  hOpen_ = 0;
}

std::string cxFTP::ServerPath(const std::string& BaseLocation, const std::string& Path) {
  if (Path.size() <= BaseLocation.size()) return "/";
  std::string result = Path.substr(BaseLocation.size());
  for (char& character : result) {
    if (character == '\\') character = '/';
  }
  return result;
}

bool cxFTP::HandleError(std::uint32_t ErrorNumber) {
  if (IsConnectionLost(ErrorNumber) && WasConnected_ && !reconnect_attempted_) {
    return Reconnect();
  }
  LastError_ = GetErrorText(ErrorNumber);
  return false;
}

bool cxFTP::Reconnect() {
  reconnect_attempted_ = true;
  // The same settings as the last Connect. "Don't use the cache" stays as
  // it is now: a caller that turned the cache off for a listing it must
  // have from the server (before replacing a file on its word) would
  // otherwise be handed the cached copy by the retry after the reconnect.
  const bool no_cache = NoCache_;
  Connect(Location_, UserName_, Password_, Port_, Proxy_, connect_no_cache_);
  NoCache_ = no_cache;
  if (Connected()) return true;
  // Say why the new connection failed, and that the session is without one
  // now. A later call tries once more, so a host can go on once the server
  // is back.
  WasConnected_ = true;
  connection_lost_ = true;
  LastError_ = std::string(kUnableToReconnect) + LastError_ + " " +
               GetErrorText(ERROR_INTERNET_DISCONNECTED);
  return false;
}

bool cxFTP::RestoreLostConnection() {
  if (!connection_lost_ || Connected()) return true;
  if (reconnect_attempted_) return false;  // this call has had its attempt
  return Reconnect();
}

std::string cxFTP::GetErrorText(std::uint32_t ErrorNumber) {
  char buffer[kErrorTextBufferSize] = {};
  std::string text;
  if (ErrorNumber == 0 || ErrorNumber == ERROR_INTERNET_EXTENDED_ERROR) {
    // The server's own reply says most; show the code it came with.
    DWORD code = ErrorNumber;
    DWORD length = kErrorTextBufferSize;
    if (InternetGetLastResponseInfoA(&code, buffer, &length)) {
      text = Printable(StripNull(std::string(buffer, kErrorTextBufferSize)));
      ErrorNumber = code;
    }
  }
  std::string server_said;
  if (ErrorNumber == ERROR_FTP_DROPPED) {
    // A server that ended the session with 421 said why ("too many users",
    // "shutting down"); that reason belongs in the text.
    DWORD code = 0;
    DWORD length = kErrorTextBufferSize;
    if (InternetGetLastResponseInfoA(&code, buffer, &length) && code == 421) {
      server_said = Printable(StripNull(std::string(buffer, kErrorTextBufferSize)));
    }
  }
  if (text.empty() && IsSecurityError(ErrorNumber)) {
    // The TLS report says what a person must know (which certificate, why);
    // it may be longer than the buffer of a reply. Certificate names come
    // from the server and are made printable like its replies.
    INTERNET_SECURITY_REPORT report;
    InternetGetLastSecurityReportA(&report);
    DWORD no_arguments = 0;
    const DWORD count = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, nullptr, ErrorNumber, 0,
                                       buffer, kErrorTextBufferSize - 1, &no_arguments);
    if (count >= 2) text.assign(buffer, count - 2);
    if (!report.text.empty()) text += (text.empty() ? "" : " ") + Printable(report.text);
  }
  if (text.empty()) {
    DWORD no_arguments = 0;
    const DWORD count = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, nullptr, ErrorNumber, 0,
                                       buffer, kErrorTextBufferSize - 1, &no_arguments);
    if (count >= 2) {
      text.assign(buffer, count - 2);  // without the closing line break
    } else {
      text = "Error description not available.";
    }
  }
  if (!server_said.empty()) text += " " + server_said;
  return text + " (" + std::to_string(ErrorNumber) + ")";
}

std::string cxFTP::Printable(const std::string& Text) {
  // Multi-line replies become one line; other control characters never
  // reach a log or a screen raw.
  std::string result;
  result.reserve(Text.size());
  for (std::size_t index = 0; index < Text.size(); ++index) {
    const auto character = static_cast<unsigned char>(Text[index]);
    if (character == '\r' && index + 1 < Text.size() && Text[index + 1] == '\n') continue;
    if (character == '\r' || character == '\n') {
      result += ' ';
    } else if (character < 0x20 || character == 0x7f) {
      result += '?';
    } else {
      result += Text[index];
    }
  }
  return result;
}

std::string cxFTP::GetStatus() {
  DWORD code = 0;
  DWORD length = 0;
  InternetGetLastResponseInfoA(&code, nullptr, &length);
  if (code == 0) return "OK";
  std::string buffer(length + 1, '\0');
  DWORD size = length + 1;
  InternetGetLastResponseInfoA(&code, buffer.data(), &size);
  return std::to_string(code) + " " + StripNull(buffer);
}

std::string cxFTP::StripNull(const std::string& Text) {
  return Text.substr(0, Text.find('\0'));
}

FolderCache& cxFTP::CacheObject() const {
  if (!Cache_) Raise(error_number::kObjectVariableNotSet, "Object variable or With block variable not set");
  return *Cache_;
}

}  // namespace orvex
