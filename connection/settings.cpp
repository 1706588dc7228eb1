// Loading and saving a connection's settings in the host's settings store.
//
// Per-server values live under the plug-in's settings key, "\" and the
// server root of the location; the ASCII extension list and the temporary
// copy switch hold for the whole plug-in and live as paths below the
// settings key. Booleans are stored as 16-bit 0 or 1.

#include <cstdint>

#include "connection/connection.h"
#include "platform/error.h"
#include "resources/version_info.h"

namespace orvex {
namespace {

constexpr char kDefaultAsciiExtensions[] = "pl,c,cpp,h,txt,cgi";

Variant StoredBoolean(bool value) { return Variant(static_cast<std::int16_t>(value ? 1 : 0)); }

// Splits like the runtime's Split: an empty text gives no element.
std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  if (text.empty()) return parts;
  std::size_t start = 0;
  for (;;) {
    auto end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return parts;
}

bool IsBlank(const std::string& text) { return text.find_first_not_of(' ') == std::string::npos; }

}  // namespace

std::string Connection::ServerRoot(const std::string& location) {
  std::string root = location;
  for (char& c : root) {
    if (c == '\\') c = '/';
  }
  auto slash = root.size() > 6 ? root.find('/', 6) : std::string::npos;
  return slash == std::string::npos ? root : root.substr(0, slash);
}

com::ComPtr<SettingsStore> Connection::ObtainStore() {
  if (!Interface_) {
    if (!PluginInterface_) Raise(error_number::kObjectRequired, "Object required: the host's PluginInterface");
    Interface_ = PluginInterface_->Application();
  }
  return Interface_->Configuration()->Settings();
}

void Connection::LoadSettings(const std::string& location) {
  auto store = ObtainStore();
  if (!location.empty()) {
    store->OpenKey(info_->SettingsKey() + "\\" + ServerRoot(location));
    Anonymous_ = store->ReadBoolean("Anonymous");
    UserName_ = store->ReadString("UserName").ToString();
    std::string stored_password = store->ReadString("Password").ToString();
    encoder_->Binary(false);
    Password_ = encoder_->Decode(stored_password, version::kApplicationTitle);
    Port_ = store->ReadString("Port").ToString();
    UseProxy_ = store->ReadBoolean("UseProxy");
    ProxyName_ = store->ReadString("ProxyName").ToString();
    ProxyPort_ = store->ReadString("ProxyPort").ToString();
    ClearCacheOnConnect_ = store->ReadBoolean("ClearCacheOnConnect");
    EnableAscii_ = store->ReadBoolean("AsciiEnabled");
    SkipServUNavigationFolders_ = store->ReadBoolean("SkipServUNavigationFolders");
    ServerTimeOffset_ = store->ReadString("ServerTimeOffset").ToString();
    LoadSecuritySettings(*store, ServerRoot(location));
    store->OpenKey("");
  }

  auto elements = Split(store->ReadString(info_->SettingsKey() + "\\AsciiExtensions").ToString(), '|');
  if (elements.empty()) elements = Split(kDefaultAsciiExtensions, ',');
  AsciiExtensions_ = script::NewDictionary(script::CompareMode::Text);
  for (const auto& element : elements) {
    if (!IsBlank(element)) AsciiExtensions_->Item(element, Variant(""));
  }

  const std::string temp_copy = info_->SettingsKey() + "\\UseTempCopy";
  if (!store->ValueExists(temp_copy)) store->WriteValue(temp_copy, StoredBoolean(true));
  UseTempCopy_ = store->ReadString(temp_copy).ToBoolean();
}

void Connection::SaveSettings(const std::string& location) {
  auto store = ObtainStore();
  if (!location.empty()) {
    store->OpenKey(info_->SettingsKey() + "\\" + ServerRoot(location));
    store->WriteValue("Anonymous", StoredBoolean(Anonymous_));
    store->WriteValue("UserName", Variant(UserName_));
    encoder_->Binary(false);
    store->WriteValue("Password", Variant(encoder_->Encode(Password_, version::kApplicationTitle)));
    store->WriteValue("Port", Variant(Port_));
    store->WriteValue("UseProxy", StoredBoolean(UseProxy_));
    store->WriteValue("ProxyName", Variant(ProxyName_));
    store->WriteValue("ProxyPort", Variant(ProxyPort_));
    store->WriteValue("ClearCacheOnConnect", StoredBoolean(ClearCacheOnConnect_));
    store->WriteValue("SkipServUNavigationFolders", StoredBoolean(SkipServUNavigationFolders_));
    store->WriteValue("ServerTimeOffset", Variant(ServerTimeOffset_));
    SaveSecuritySettings(*store, ServerRoot(location));
  }
  // With a location this lands in the server key, still open; without one
  // wherever the store puts a plain name while no key is open.
  store->WriteValue("AsciiEnabled", StoredBoolean(EnableAscii_));
  store->OpenKey("");

  if (AsciiExtensions_) {
    auto keys = AsciiExtensions_->Keys();
    std::string joined;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (i > 0) joined += '|';
      joined += keys[i];
    }
    store->WriteValue(info_->SettingsKey() + "\\AsciiExtensions", Variant(joined));
  }
  store->WriteValue(info_->SettingsKey() + "\\UseTempCopy", StoredBoolean(UseTempCopy_));
}

}  // namespace orvex
