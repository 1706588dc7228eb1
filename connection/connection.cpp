#include "connection/connection.h"

#include "connection/host/host_objects.h"
#include "dialogs/library_state.h"
#include "connection/pictures.h"
#include "platform/error.h"
#include "resources/version_info.h"

namespace orvex {
namespace {

std::string ReplaceAll(std::string text, char from, char to) {
  for (char& c : text) {
    if (c == from) c = to;
  }
  return text;
}

}  // namespace

Connection::Connection()
    : info_(NewPluginInfo()),
      FTP_(std::make_unique<cxFTP>()),
      TransferFTP_(std::make_unique<cxFTP>()),
      encoder_(std::make_unique<encoding::cEncoding>()),
      file_system_(std::make_unique<script::FileSystemObject>()) {
  FTP_->OnError([this](const std::string& message) { FTP_OnError(message); });
  FTP_->UsePassiveSemantics(true);
  TransferFTP_->UsePassiveSemantics(true);
  LoadAboutBox();
  FillDescriptor();
  capabilities_ = kCapabilities;
}

Connection::~Connection() {
  iPC_Disconnect();
  UnloadAboutBox();
}

void Connection::FillDescriptor() {
  info_->Author(version::kAuthor);
  info_->Company(version::kCompany);
  info_->WebAddress(version::kWebAddress);
  info_->Description("File Transfer Protocol");
  info_->Version(std::to_string(version::kMajor) + "." + std::to_string(version::kMinor) +
                 " beta " + std::to_string(version::kRevision));
  info_->Picture(PluginPicture("plugin"));
  info_->Icon(PluginPicture("icon"));
  info_->LocationIcon(PluginPicture("location"));
  info_->LocationType("FTP");
  info_->Number2(1024);
  info_->Number3(-1);
  info_->Number1(0);
  info_->Number4(-1);
}

void Connection::iPC_Init(const com::ComPtr<orvex::PluginInterface>& plugin_interface,
                          const std::string& id, const std::string& initial_location) {
  // Nothing works without the host; say so before anything is changed.
  if (!plugin_interface) Raise(error_number::kObjectRequired, "Object required: the host's PluginInterface");
  PluginInterface(plugin_interface);
  LibraryPluginInterface(plugin_interface);
  Interface_ = plugin_interface->Application();

  std::string caption = plugin_interface->Services()->Translate("Connection properties", {});
  info_->Commands()->Add(kPropertiesCommandId, caption, "", "", "", kPropertiesCommandFlags,
                         PluginPicture("settings"), PluginPicture("settings_d"));

  initial_location_ = ReplaceAll(initial_location, '\\', '/');
  location_ = plugin_interface->ResolveLocation(initial_location_);
  while (!location_.empty() && location_.back() == '/') location_.pop_back();

  LoadSettings(location_);
  FTP_->SkipServUNavigationFolders(SkipServUNavigationFolders_);
  info_->ID(id);
}

std::string Connection::iPC_LocationName() {
  std::string host_part = ReplaceAll(location_, '/', '\\');
  host_part = host_part.size() > 6 ? host_part.substr(6) : std::string();
  std::string name;
  if (host_part.find('\\') != std::string::npos) name = file_system_->GetFileName(location_);
  if (name.empty()) name = host_part;
  return name;
}

}  // namespace orvex
