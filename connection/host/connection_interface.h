#pragma once
// _Connection: the default interface of the plug-in's class
// OrvexFTP.Connection. Its fourteen members are plain stored values (the
// dialogs and a host read and write a connection's settings through them);
// after them it republishes a part of iPC with the same signatures.
//
// The identifiers of the class, of this interface and of the plug-in's type
// library live here too, so that a host can ask for them by value.

#include "connection/host/ipc.h"
#include "platform/script/dictionary.h"

namespace orvex {

inline constexpr com::CLSID kConnectionClassId = com::MakeGuid("{EAA199CE-0842-4EF9-A9FD-269060FAA47C}");
inline constexpr com::GUID kTypeLibraryId = com::MakeGuid("{01829DBA-79F9-4F02-BD11-1ACC7A21E625}");
inline constexpr char kConnectionProgId[] = "OrvexFTP.Connection";

struct _Connection : com::IUnknown {
  static constexpr com::IID kIid = com::MakeGuid("{C02B3F3D-38DD-440A-ABF8-D5DACE000783}");

  virtual com::ComPtr<HostApplication> Interface() = 0;
  virtual void Interface(const com::ComPtr<HostApplication>& value) = 0;
  virtual com::ComPtr<orvex::PluginInterface> PluginInterface() = 0;
  virtual void PluginInterface(const com::ComPtr<orvex::PluginInterface>& value) = 0;
  virtual std::string UserName() = 0;
  virtual void UserName(const std::string& value) = 0;
  // In clear text here; stored only encoded.
  virtual std::string Password() = 0;
  virtual void Password(const std::string& value) = 0;
  // The port as text, handed unchanged to the FTP session.
  virtual std::string Port() = 0;
  virtual void Port(const std::string& value) = 0;
  virtual bool Anonymous() = 0;
  virtual void Anonymous(bool value) = 0;
  virtual bool UseProxy() = 0;
  virtual void UseProxy(bool value) = 0;
  virtual std::string ProxyName() = 0;
  virtual void ProxyName(const std::string& value) = 0;
  virtual std::string ProxyPort() = 0;
  virtual void ProxyPort(const std::string& value) = 0;
  virtual bool ClearCacheOnConnect() = 0;
  virtual void ClearCacheOnConnect(bool value) = 0;
  // Extensions (no dot) transferred in ASCII mode, compared without regard
  // to case; the values are empty texts. Changed in place by the dialogs.
  virtual com::ComPtr<script::Dictionary> AsciiExtensions() = 0;
  virtual void AsciiExtensions(const com::ComPtr<script::Dictionary>& value) = 0;
  virtual bool EnableAscii() = 0;
  virtual void EnableAscii(bool value) = 0;
  virtual bool UseTempCopy() = 0;
  virtual void UseTempCopy(bool value) = 0;
  virtual bool SkipServUNavigationFolders() = 0;
  virtual void SkipServUNavigationFolders(bool value) = 0;
  // Stored per server: the time zone of the server's listings when the
  // server misreports it, as "+05:30"; empty to learn it from the server.
  // A text that is no offset is treated as empty.
  virtual std::string ServerTimeOffset() = 0;
  virtual void ServerTimeOffset(const std::string& value) = 0;
  // What the connected server allows, as learnt so far (the listing bits
  // settle with the first listing): kServer* bits; 0 before a connect.
  static constexpr std::int32_t kServerListsSeconds = 0x1;       // MLSD times
  static constexpr std::int32_t kServerListsHiddenFiles = 0x2;   // dot files listed
  static constexpr std::int32_t kServerGivesFileTimes = 0x4;     // MDTM
  // Uploads get the host's time: MFMT offered, or MDTM with a time has
  // worked on this connection (only trying tells whether a server takes it).
  static constexpr std::int32_t kServerSetsFileTimes = 0x8;
  static constexpr std::int32_t kServerListingZoneKnown = 0x10;  // LIST times corrected
  virtual std::int32_t ServerTraits() = 0;
  // The offset from UTC applied to the listing's times ("+05:30"), empty
  // while none is known or the listing gives UTC.
  virtual std::string ListingTimeOffset() = 0;
  // What the server listed in the folder at `folder_path` but a listing
  // cannot carry, as of the last time the plug-in listed that folder from
  // the server: an array of [name, kind, folder] arrays, `name` as listed
  // (it may hold "/", "\" or NUL), `kind` kLeftOutName (a name no item path
  // can hold) or kLeftOutSpecial (a device, socket or pipe), `folder` a
  // Boolean. Their absence from iPC_GetFiles and iPC_GetFolders is no
  // absence on the server: a host must not delete their namesakes.
  static constexpr std::int32_t kLeftOutName = 1;
  static constexpr std::int32_t kLeftOutSpecial = 2;
  virtual Variant LeftOutOfListing(const std::string& folder_path) = 0;
  // For a host that must stop at once (Ctrl-C) while a server is slow or
  // silent: the reading end of a pipe its signal handler writes a byte to,
  // -1 for none. While a byte is in it, every member waiting on the server
  // fails with "The operation was cancelled"; what the plug-in does after
  // that (removing a temporary upload) still runs, for at most
  // `grace_milliseconds`. It applies to every connection of the process.
  virtual void CancelDescriptor(std::int32_t descriptor, std::int32_t grace_milliseconds) = 0;

  virtual std::string iPC_Location() = 0;
  virtual std::string iPC_InitialLocation() = 0;
  virtual std::string iPC_LocationName() = 0;
  virtual com::ComPtr<PluginInfo> iPC_Properties() = 0;
  virtual std::int32_t iPC_Settings() = 0;
  virtual bool iPC_Connected() = 0;
  virtual void iPC_Init(const com::ComPtr<orvex::PluginInterface>& plugin_interface,
                        const std::string& id, const std::string& initial_location) = 0;
  virtual bool iPC_Connect(std::int32_t create = iPC::kCreateDefault) = 0;
  virtual com::ComPtr<script::Collection> iPC_GetFiles(const std::string& folder_path) = 0;
  virtual com::ComPtr<script::Collection> iPC_GetFolders(const std::string& folder_path) = 0;
  virtual bool iPC_OpenFile(const com::ComPtr<HostFileStream>& file_stream) = 0;
  virtual bool iPC_WriteFile(const com::ComPtr<HostFileStream>& file_stream,
                             std::vector<std::uint8_t>& buffer) = 0;
  virtual bool iPC_ReadFile(const com::ComPtr<HostFileStream>& file_stream,
                            std::vector<std::uint8_t>& buffer) = 0;
  virtual bool iPC_CloseFile(const com::ComPtr<HostFileStream>& file_stream) = 0;
  virtual com::ComPtr<HostFolder> iPC_CreateFolder(const std::string& folder_path) = 0;
  virtual com::ComPtr<orvex::PluginInterface> iPC_PluginInterface() = 0;
  virtual void iPC_PluginInterface(const com::ComPtr<orvex::PluginInterface>& value) = 0;
};

}  // namespace orvex
