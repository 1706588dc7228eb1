#pragma once
// PluginInfo, the plug-in's descriptor, with its context commands. The
// plug-in creates and fills it; the host reads it through iPC_Properties.

#include <cstdint>
#include <string>

#include "connection/host/picture.h"

namespace orvex {

struct ContextCommand : com::IUnknown {
  static constexpr com::IID kIid = com::MakeGuid("{24838C11-29E0-4D23-B266-8F64957FDF28}");

  virtual std::int32_t ID() = 0;
  virtual std::int32_t Flags() = 0;
  virtual std::string Caption() = 0;
  virtual com::ComPtr<orvex::Picture> Picture() = 0;
  virtual com::ComPtr<orvex::Picture> DisabledPicture() = 0;
};

struct PluginCommands : com::IUnknown {
  static constexpr com::IID kIid = com::MakeGuid("{BEF74335-B8B2-4A74-AA3A-EDC690695727}");

  // Adds a context command; Text3 to Text5 are the host's, passed as given.
  virtual com::ComPtr<ContextCommand> Add(std::int32_t id, const std::string& caption,
                                          const std::string& text3, const std::string& text4,
                                          const std::string& text5, std::int32_t flags,
                                          const com::ComPtr<orvex::Picture>& picture,
                                          const com::ComPtr<orvex::Picture>& disabled_picture) = 0;
  // Positions count from 1; raises 9 outside 1..Count.
  virtual com::ComPtr<ContextCommand> Item(std::int32_t index) = 0;
  virtual std::int32_t Count() = 0;
};

struct PluginInfo : com::IUnknown {
  static constexpr com::IID kIid = com::MakeGuid("{3F113658-9FEB-4EAA-866C-8EF6BFC7BBE0}");

  virtual std::string Description() = 0;
  virtual void Description(const std::string& value) = 0;
  virtual std::string Author() = 0;
  virtual void Author(const std::string& value) = 0;
  virtual std::string Company() = 0;
  virtual void Company(const std::string& value) = 0;
  virtual std::string WebAddress() = 0;
  virtual void WebAddress(const std::string& value) = 0;
  virtual std::string Version() = 0;
  virtual void Version(const std::string& value) = 0;
  virtual com::ComPtr<orvex::Picture> Picture() = 0;
  virtual void Picture(const com::ComPtr<orvex::Picture>& value) = 0;
  virtual com::ComPtr<orvex::Picture> Icon() = 0;
  virtual void Icon(const com::ComPtr<orvex::Picture>& value) = 0;
  virtual com::ComPtr<orvex::Picture> LocationIcon() = 0;
  virtual void LocationIcon(const com::ComPtr<orvex::Picture>& value) = 0;
  virtual com::ComPtr<PluginCommands> Commands() = 0;
  virtual std::string LocationType() = 0;
  virtual void LocationType(const std::string& value) = 0;
  // Numbers whose meaning belongs to the host.
  virtual std::int32_t Number1() = 0;
  virtual void Number1(std::int32_t value) = 0;
  virtual std::int32_t Number2() = 0;
  virtual void Number2(std::int32_t value) = 0;
  virtual std::int32_t Number3() = 0;
  virtual void Number3(std::int32_t value) = 0;
  virtual std::int32_t Number4() = 0;
  virtual void Number4(std::int32_t value) = 0;
  // Root key of this plug-in in the settings store. Until the host sets it,
  // "Plugins\" followed by the location type.
  virtual std::string SettingsKey() = 0;
  virtual void SettingsKey(const std::string& value) = 0;
  virtual std::string LastError() = 0;
  virtual void LastError(const std::string& value) = 0;
  virtual std::string ID() = 0;
  virtual void ID(const std::string& value) = 0;
};

}  // namespace orvex
