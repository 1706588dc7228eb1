#pragma once
// Connection: the plug-in object the host creates for one FTP location and
// drives through iPC; its default interface _Connection holds the location's
// settings.

#include <map>
#include <memory>
#include <string>

#include "connection/host/connection_interface.h"
#include "connection/host/connection_security.h"
#include "encoding/encoding.h"
#include "ftp/cxFTP.h"
#include "platform/com/unknown.h"
#include "platform/script/file_system_object.h"

namespace orvex {

class Connection final : public com::Object<Connection, _Connection, iPC, _ConnectionSecurity> {
 public:
  // The capability flags reported by iPC_Settings (bits of the host's settings
  // enumeration).
  static constexpr std::int32_t kCapabilities = 141;
  // The context command that opens the properties dialog, and its flags.
  static constexpr std::int32_t kPropertiesCommandId = 1;
  static constexpr std::int32_t kPropertiesCommandFlags = 0x110;

  Connection();
  ~Connection() override;

  // _Connection members.
  com::ComPtr<HostApplication> Interface() override { return Interface_; }
  void Interface(const com::ComPtr<HostApplication>& value) override { Interface_ = value; }
  com::ComPtr<orvex::PluginInterface> PluginInterface() override { return PluginInterface_; }
  void PluginInterface(const com::ComPtr<orvex::PluginInterface>& value) override { PluginInterface_ = value; }
  std::string UserName() override { return UserName_; }
  void UserName(const std::string& value) override { UserName_ = value; }
  std::string Password() override { return Password_; }
  void Password(const std::string& value) override { Password_ = value; }
  std::string Port() override { return Port_; }
  void Port(const std::string& value) override { Port_ = value; }
  bool Anonymous() override { return Anonymous_; }
  void Anonymous(bool value) override { Anonymous_ = value; }
  bool UseProxy() override { return UseProxy_; }
  void UseProxy(bool value) override { UseProxy_ = value; }
  std::string ProxyName() override { return ProxyName_; }
  void ProxyName(const std::string& value) override { ProxyName_ = value; }
  std::string ProxyPort() override { return ProxyPort_; }
  void ProxyPort(const std::string& value) override { ProxyPort_ = value; }
  bool ClearCacheOnConnect() override { return ClearCacheOnConnect_; }
  void ClearCacheOnConnect(bool value) override { ClearCacheOnConnect_ = value; }
  com::ComPtr<script::Dictionary> AsciiExtensions() override { return AsciiExtensions_; }
  void AsciiExtensions(const com::ComPtr<script::Dictionary>& value) override { AsciiExtensions_ = value; }
  bool EnableAscii() override { return EnableAscii_; }
  void EnableAscii(bool value) override { EnableAscii_ = value; }
  bool UseTempCopy() override { return UseTempCopy_; }
  void UseTempCopy(bool value) override { UseTempCopy_ = value; }
  bool SkipServUNavigationFolders() override { return SkipServUNavigationFolders_; }
  void SkipServUNavigationFolders(bool value) override { SkipServUNavigationFolders_ = value; }
  std::string ServerTimeOffset() override { return ServerTimeOffset_; }
  void ServerTimeOffset(const std::string& value) override { ServerTimeOffset_ = value; }
  std::int32_t ServerTraits() override;
  std::string ListingTimeOffset() override;
  Variant LeftOutOfListing(const std::string& folder_path) override;
  void CancelDescriptor(std::int32_t descriptor, std::int32_t grace_milliseconds) override;

  // _ConnectionSecurity members (FTP over TLS; security.cpp).
  std::int32_t Encryption() override { return Encryption_; }
  void Encryption(std::int32_t value) override;
  std::string CertificateFingerprint() override { return CertificateFingerprint_; }
  void CertificateFingerprint(const std::string& value) override;
  std::string CertificateAuthorityFile() override { return CertificateAuthorityFile_; }
  void CertificateAuthorityFile(const std::string& value) override { CertificateAuthorityFile_ = value; }
  bool VerifyCertificates() override { return VerifyCertificates_; }
  void VerifyCertificates(bool value) override { VerifyCertificates_ = value; }
  void TrustCertificate(const std::string& fingerprint) override;
  std::string ServerCertificateFingerprint() override;
  std::string ServerCertificateSubject() override;
  std::string ServerCertificateIssuer() override;
  std::string ServerCertificateValidUntil() override;
  std::string ServerCertificateRefusal() override;

  // iPC members.
  std::string iPC_InitialLocation() override { return initial_location_; }
  std::string iPC_Location() override { return location_; }
  std::string iPC_LocationName() override;
  com::ComPtr<PluginInfo> iPC_Properties() override { return info_; }
  std::int32_t iPC_Settings() override { return capabilities_; }
  bool iPC_Connected() override { return FTP_ && FTP_->Connected(); }
  com::ComPtr<orvex::PluginInterface> iPC_PluginInterface() override { return PluginInterface_; }
  void iPC_PluginInterface(const com::ComPtr<orvex::PluginInterface>& value) override {
    PluginInterface_ = value;
  }
  void iPC_Init(const com::ComPtr<orvex::PluginInterface>& plugin_interface, const std::string& id,
                const std::string& initial_location) override;
  bool iPC_Connect(std::int32_t create = iPC::kCreateDefault) override;
  void iPC_Disconnect() override;
  com::ComPtr<script::Collection> iPC_GetFiles(const std::string& folder_path) override;
  com::ComPtr<HostFile> iPC_GetFile(const std::string& file_path) override;
  com::ComPtr<script::Collection> iPC_GetFolders(const std::string& folder_path) override;
  com::ComPtr<HostFolder> iPC_GetFolder(const std::string& folder_path) override;
  bool iPC_DeleteFile(const com::ComPtr<HostFile>& file, std::int32_t options) override;
  bool iPC_DeleteFolder(const com::ComPtr<HostFolder>& folder, std::int32_t options) override;
  com::ComPtr<HostFile> iPC_RenameFile(const com::ComPtr<HostFile>& file,
                                       const std::string& new_name) override;
  com::ComPtr<HostFolder> iPC_RenameFolder(const com::ComPtr<HostFolder>& folder,
                                           const std::string& new_name) override;
  bool iPC_OpenFile(const com::ComPtr<HostFileStream>& file_stream) override;
  bool iPC_WriteFile(const com::ComPtr<HostFileStream>& file_stream,
                     std::vector<std::uint8_t>& buffer) override;
  bool iPC_ReadFile(const com::ComPtr<HostFileStream>& file_stream,
                    std::vector<std::uint8_t>& buffer) override;
  bool iPC_SeekFile(const com::ComPtr<HostFileStream>& file_stream, double position) override;
  bool iPC_CloseFile(const com::ComPtr<HostFileStream>& file_stream) override;
  com::ComPtr<HostFolder> iPC_CreateFolder(const std::string& folder_path) override;
  void iPC_ClearFolderCache(const std::string& folder_path, bool recursive) override;
  Variant iPC_ExecuteCommand(const com::ComPtr<ContextCommand>& context_command,
                             const Variant& folders = {}, const Variant& files = {},
                             const Variant& options = {}) override;

 public:
  // The settings routines. LoadSettings reads the stored values of the
  // location's server and the plug-in-wide values into the members; with an
  // empty location only the plug-in-wide values. SaveSettings writes them
  // back, the password encoded. Neither traps errors.
  void LoadSettings(const std::string& location);
  void SaveSettings(const std::string& location);
  // The scheme and server part of a location: ftp://server/pub gives
  // ftp://server.
  static std::string ServerRoot(const std::string& location);

 private:
  void FillDescriptor();
  com::ComPtr<SettingsStore> ObtainStore();

  // The error report of every failing host-facing operation: logs
  // "FTP(" + ID + ") " + message with type 4 and keeps the bare message as the
  // descriptor's LastError.
  void ReportError(const std::string& message);
  // What iPC_RenameFile and iPC_RenameFolder do, for an Item of either kind.
  template <class Item>
  com::ComPtr<Item> RenameItem(const com::ComPtr<Item>& item, const std::string& new_name);
  // Handler of the FTP session's OnError event: logs the message as it is.
  void FTP_OnError(const std::string& message);
  // The host's services; raises 424 before iPC_Init.
  com::ComPtr<HostServices> Services();
  std::string Translate(const std::string& text, const std::vector<std::string>& parameters = {});
  // The TLS values of the open server key (security.cpp), the key of the
  // server root `server`. Nothing stored means no encryption; values are
  // written only once TLS was ever chosen, so a server without TLS keeps
  // exactly the values it always had. A trusted fingerprint belongs to the
  // server it was trusted for: saving under another server (the properties
  // dialog given a new URL) keeps that server's own stored one and takes it.
  void LoadSecuritySettings(SettingsStore& store, const std::string& server);
  void SaveSecuritySettings(SettingsStore& store, const std::string& server);
  // Gives a session this connection's TLS settings (security.cpp).
  void ApplySecurity(cxFTP& session);
  // After a connect refused the server's certificate for not being trusted:
  // shows it and asks whether to trust it; on yes pins it and stores the pin
  // for the location's server. False when the failure was anything else or
  // the user declined.
  bool OfferToTrustCertificate();
  // Runs the properties command of the descriptor, as the host would.
  Variant RunPropertiesCommand();
  // Finishes an upload written under its temporary name: renames it onto
  // the target, replacing an existing target only when the server will not
  // rename over it. With `time` given, the temporary file gets that
  // modification time in the same round trip as the rename (`time_set`
  // says whether it did). Raises with the reason when the new content could
  // not be put in place; the temporary file then stays on the server.
  void PutTemporaryCopyInPlace(const com::ComPtr<HostFile>& file, const std::optional<Date>& time,
                               bool& time_set);
  // Removes the temporary file of an upload that was abandoned (`failure`
  // empty) or failed (`failure`: why). Raises with the failure and what
  // became of the temporary file; for an abandoned upload only when the
  // temporary file may be left on the server.
  void DiscardTemporaryCopy(const com::ComPtr<HostFile>& file, const std::string& failure);
  // Closes a download (or a stream opened for neither mode), raising when
  // the server holds more than the host read or did not confirm the
  // transfer.
  void CloseDownload(const com::ComPtr<HostFileStream>& file_stream, std::uint32_t handle);
  // After an upload is in place: sets the remote file's modification time to
  // the date the host gave the item, where the server can. Returns the date
  // the item then carries: that one, or now when it could not be set.
  Date FinishedUploadDate(const com::ComPtr<HostFile>& file);
  // The date an upload should carry on the server: the host's, unless it is
  // no date or the server cannot set times (then none).
  std::optional<Date> UploadTimeToSet(const com::ComPtr<HostFile>& file);
  // The date the uploaded item carries once `wanted` was (`set`) or was not
  // given to the server; a refusal is logged.
  Date RecordedUploadDate(const com::ComPtr<HostFile>& file, const std::optional<Date>& wanted, bool set);

  // _Connection values.
  com::ComPtr<HostApplication> Interface_;
  com::ComPtr<orvex::PluginInterface> PluginInterface_;
  std::string UserName_, Password_, Port_, ProxyName_, ProxyPort_, ServerTimeOffset_;
  bool Anonymous_ = false, UseProxy_ = false, ClearCacheOnConnect_ = false;
  com::ComPtr<script::Dictionary> AsciiExtensions_;
  bool EnableAscii_ = false, UseTempCopy_ = false, SkipServUNavigationFolders_ = false;
  // _ConnectionSecurity values.
  std::int32_t Encryption_ = kEncryptionNone;
  std::string CertificateFingerprint_, CertificateAuthorityFile_;
  bool VerifyCertificates_ = true;
  // The server root whose trusted certificate CertificateFingerprint_ is.
  std::string FingerprintServer_;

  // Private state.
  com::ComPtr<PluginInfo> info_;
  std::string location_;
  std::string initial_location_;
  std::int32_t capabilities_ = 0;
  std::unique_ptr<cxFTP> FTP_;
  std::unique_ptr<cxFTP> TransferFTP_;
  std::unique_ptr<encoding::cEncoding> encoder_;
  std::unique_ptr<script::FileSystemObject> file_system_;
  // Open uploads: handle -> written under the temporary name.
  std::map<std::uint32_t, bool> upload_temporary_copy_;
};

}  // namespace orvex
