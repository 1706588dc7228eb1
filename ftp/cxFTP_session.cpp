// Opening and closing the session, error texts and the reconnect rule.

#include <cmath>

#include "ftp/cxFTP.h"
#include "ftp/wininet.h"
#include "platform/error.h"
#include "platform/numeric.h"
#include "resources/version_info.h"

namespace orvex {

using namespace orvex::wininet;

namespace {

constexpr std::size_t kSchemePrefixLength = 6;  // "ftp://"
constexpr DWORD kErrorTextBufferSize = 257;

bool IsConnectionLost(DWORD number) {
  return number == ERROR_INTERNET_CONNECTION_ABORTED || number == ERROR_INTERNET_CONNECTION_RESET ||
         number == ERROR_FTP_DROPPED;
}

}  // namespace

cxFTP::~cxFTP() { Disconnect(); }

bool cxFTP::Connect(const std::string& URL, const std::string& UserName,
                    const std::string& Password, std::string Port, const std::string& Proxy,
                    bool NoCache) {
  OperationScope scope(*this);
  // Connect is itself the connection attempt: a failure while entering the
  // URL's folder must not start a reconnect of its own.
  reconnect_attempted_ = true;
  // Handles of an earlier connection would otherwise stay open until the
  // object dies; a reconnect goes through here as well.
  Disconnect();

  Location_ = URL;
  NoCache_ = NoCache;
  const auto slash = URL.find('/', kSchemePrefixLength);
  BaseLocation_ = slash == std::string::npos ? URL : URL.substr(0, slash);
  Server_ = BaseLocation_.size() > kSchemePrefixLength ? BaseLocation_.substr(kSchemePrefixLength)
                                                       : std::string();
  UserName_ = UserName;
  Password_ = Password;
  Proxy_ = Proxy;

  // Empty or not a number: the default port. A number must name a real port.
  INTERNET_PORT port_number = INTERNET_INVALID_PORT_NUMBER;
  if (IsNumeric(Port)) {
    const double value = std::nearbyint(ParseNumber(Port).value_or(0));
    if (!(value >= 1 && value <= 65535)) {
      LastError_ = "The port \"" + Port + "\" is not a port number from 1 to 65535 (" +
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
  if (hOpen_ != 0 && Security_.encryption != FTP_ENCRYPTION_NONE &&
      !InternetSetSecurityOptionsA(hOpen_, Security_)) {
    LastError_ = GetErrorText(GetLastError());
    Disconnect();
  }
  if (hOpen_ != 0) {
    const DWORD flags = UsePassiveSemantics_ ? INTERNET_FLAG_PASSIVE : 0;
    hConnection_ = InternetConnectA(hOpen_, Server_.c_str(), port_number, UserName_.c_str(),
                                    Password_.c_str(), INTERNET_SERVICE_FTP, flags, 0);
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
        Disconnect();
      }
    }
  }
  WasConnected_ = result;
  return result;
}

void cxFTP::Disconnect() {
  if (hConnection_ != 0) InternetCloseHandle(hConnection_);
  if (hOpen_ != 0) InternetCloseHandle(hOpen_);
  hConnection_ = 0;
  hOpen_ = 0;
}

std::string cxFTP::ServerPath(const std::string& Path) const {
  if (Path.size() <= BaseLocation_.size()) return "/";
  std::string result = Path.substr(BaseLocation_.size());
  for (char& character : result) {
    if (character == '\\') character = '/';
  }
  return result;
}

bool cxFTP::HandleError(std::uint32_t ErrorNumber) {
  if (IsConnectionLost(ErrorNumber) && WasConnected_ && !reconnect_attempted_) {
    reconnect_attempted_ = true;
    Connect(Location_, UserName_, Password_, Port_, Proxy_, false);
    if (Connected()) return true;
    // A later call may find the server back.
    WasConnected_ = true;
    LastError_ = "Unable to reconnect to the server: " + GetErrorText(ErrorNumber);
    return false;
  }
  LastError_ = GetErrorText(ErrorNumber);
  return false;
}

std::string cxFTP::GetErrorText(std::uint32_t ErrorNumber) {
  char buffer[kErrorTextBufferSize] = {};
  std::string text;
  if (ErrorNumber == 0 || ErrorNumber == ERROR_INTERNET_EXTENDED_ERROR) {
    // The server's own reply says most; show the code it came with.
    DWORD code = ErrorNumber;
    DWORD length = kErrorTextBufferSize;
    if (InternetGetLastResponseInfoA(&code, buffer, &length)) {
      text = StripNull(std::string(buffer, kErrorTextBufferSize));
      ErrorNumber = code;
    }
  }
  if (text.empty() && IsSecurityError(ErrorNumber)) {
    // The TLS report says what a person must know (which certificate, why);
    // it may be longer than the buffer of a reply.
    INTERNET_SECURITY_REPORT report;
    InternetGetLastSecurityReportA(&report);
    DWORD no_arguments = 0;
    const DWORD count = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, nullptr, ErrorNumber, 0,
                                       buffer, kErrorTextBufferSize - 1, &no_arguments);
    if (count >= 2) text.assign(buffer, count - 2);
    if (!report.text.empty()) text += (text.empty() ? "" : " ") + report.text;
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
  return text + " (" + std::to_string(ErrorNumber) + ")";
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
  if (!Cache_) Raise(91, "Object variable or With block variable not set");
  return *Cache_;
}

}  // namespace orvex
