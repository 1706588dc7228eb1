// Connecting and disconnecting, and the error report every failing
// host-facing operation goes through.

#include <algorithm>

#include "connection/connection.h"
#include "ftp/listing_time_zone.h"
#include "platform/inet/wininet.h"
#include "platform/error.h"
#include "platform/numeric.h"

namespace orvex {
namespace {

constexpr std::int32_t kConnectFailedStyle = 8192;
constexpr std::size_t kShortestLocation = 7;  // "ftp://" and one character

}  // namespace

com::ComPtr<HostServices> Connection::Services() {
  if (!PluginInterface_) Raise(error_number::kObjectRequired, "Object required: the host's PluginInterface");
  return PluginInterface_->Services();
}

std::string Connection::Translate(const std::string& text, const std::vector<std::string>& parameters) {
  return Services()->Translate(text, parameters);
}

void Connection::ReportError(const std::string& message) {
  Services()->Log("FTP(" + info_->ID() + ") " + message, 4, "");
  info_->LastError(message);
}

void Connection::FTP_OnError(const std::string& message) { Services()->Log(message, 4, ""); }

Variant Connection::RunPropertiesCommand() {
  auto command = info_->Commands()->Item(kPropertiesCommandId);
  return iPC_ExecuteCommand(command, Variant(), Variant(), Variant());
}

bool Connection::iPC_Connect(std::int32_t create) {
  if (location_.size() < kShortestLocation) return false;

  if (UserName_.empty() && !Anonymous_) RunPropertiesCommand();

  bool connected = false;
  for (;;) {
    std::string proxy;
    if (UseProxy_) {
      proxy = ProxyName_;
      if (IsNumeric(ProxyPort_)) proxy += ":" + ProxyPort_;
    }
    // An anonymous login is anonymous whatever the disabled login fields of
    // the properties dialog still hold.
    const std::string user = Anonymous_ ? std::string() : UserName_;
    const std::string password = Anonymous_ ? std::string() : Password_;
    FTP_->ListingTimeOffset(ParseZoneOffset(ServerTimeOffset_));
    ApplySecurity(*FTP_);
    connected = FTP_->Connect(location_, user, password, Port_, proxy, ClearCacheOnConnect_);
    if (create != iPC::kCreateDefault || connected) break;
    // An untrusted certificate: show it and let the user trust it or not.
    if (FTP_->SecurityReport().untrusted_certificate) {
      if (OfferToTrustCertificate()) continue;
      break;
    }

    std::string message = Translate("Connection to %1 failed: %2", {location_, FTP_->LastError()});
    Services()->MessageBox(message, kConnectFailedStyle, info_->Description(), "", 0, nullptr, Variant());
    std::string corrected = RunPropertiesCommand().ToString();
    if (corrected.empty()) break;
    location_ = corrected;
  }

  if (!connected) {
    ReportError(Translate("Connection to %1 failed: %2", {location_, FTP_->LastError()}));
    return false;
  }
  com::ComPtr<iPC> self(static_cast<iPC*>(this));
  FTP_->Cache(Interface_->GetFolderCache(self, FTP_->Server(), FTP_->BaseLocation()));
  return true;
}

std::int32_t Connection::ServerTraits() {
  if (!FTP_ || !FTP_->Connected()) return 0;
  const std::uint32_t traits = FTP_->ServerTraits();
  std::int32_t result = 0;
  if (traits & wininet::FTP_TRAIT_MACHINE_LISTING) result |= kServerListsSeconds;
  if (traits & wininet::FTP_TRAIT_HIDDEN_FILES_LISTED) result |= kServerListsHiddenFiles;
  if (traits & wininet::FTP_TRAIT_FILE_TIMES) result |= kServerGivesFileTimes;
  if (traits & wininet::FTP_TRAIT_SETS_FILE_TIMES) result |= kServerSetsFileTimes;
  if (FTP_->ListingOffsetInUse()) result |= kServerListingZoneKnown;
  return result;
}

std::string Connection::ListingTimeOffset() {
  const auto offset = FTP_ ? FTP_->ListingOffsetInUse() : std::nullopt;
  return offset ? FormatZoneOffset(*offset) : std::string();
}

void Connection::CancelDescriptor(std::int32_t descriptor, std::int32_t grace_milliseconds) {
  wininet::InternetSetCancelDescriptor(descriptor < 0 ? -1 : descriptor,
                                       static_cast<wininet::DWORD>(std::max(grace_milliseconds, 0)));
}

void Connection::iPC_Disconnect() {
  FTP_->Disconnect();
  TransferFTP_->Disconnect();
}

void Connection::iPC_ClearFolderCache(const std::string& folder_path, bool recursive) {
  const auto& cache = FTP_->Cache();
  if (!cache) Raise(error_number::kObjectVariableNotSet, "Object variable not set: there is no folder cache before a connect");
  cache->ClearFolder(folder_path, recursive);
}

}  // namespace orvex
