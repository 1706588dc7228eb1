// PluginInfo and its context commands: plain stored values.
#include <vector>

#include "connection/host/host_objects.h"
#include "platform/error.h"

namespace orvex {
namespace {

class ContextCommandObject final : public com::Object<ContextCommandObject, ContextCommand> {
 public:
  ContextCommandObject(std::int32_t id, std::string caption, std::int32_t flags,
                       com::ComPtr<orvex::Picture> picture,
                       com::ComPtr<orvex::Picture> disabled_picture)
      : id_(id),
        caption_(std::move(caption)),
        flags_(flags),
        picture_(std::move(picture)),
        disabled_picture_(std::move(disabled_picture)) {}

  std::int32_t ID() override { return id_; }
  std::int32_t Flags() override { return flags_; }
  std::string Caption() override { return caption_; }
  com::ComPtr<orvex::Picture> Picture() override { return picture_; }
  com::ComPtr<orvex::Picture> DisabledPicture() override { return disabled_picture_; }

 private:
  std::int32_t id_;
  std::string caption_;
  std::int32_t flags_;
  com::ComPtr<orvex::Picture> picture_, disabled_picture_;
};

class PluginCommandsObject final : public com::Object<PluginCommandsObject, PluginCommands> {
 public:
  com::ComPtr<ContextCommand> Add(std::int32_t id, const std::string& caption, const std::string&,
                                  const std::string&, const std::string&, std::int32_t flags,
                                  const com::ComPtr<orvex::Picture>& picture,
                                  const com::ComPtr<orvex::Picture>& disabled_picture) override {
    com::ComPtr<ContextCommand> command =
        ContextCommandObject::Create(id, caption, flags, picture, disabled_picture);
    commands_.push_back(command);
    return command;
  }

  com::ComPtr<ContextCommand> Item(std::int32_t index) override {
    if (index < 1 || index > Count()) Raise(error_number::kSubscriptOutOfRange, "Subscript out of range");
    return commands_[static_cast<std::size_t>(index - 1)];
  }

  std::int32_t Count() override { return static_cast<std::int32_t>(commands_.size()); }

 private:
  std::vector<com::ComPtr<ContextCommand>> commands_;
};

class PluginInfoObject final : public com::Object<PluginInfoObject, PluginInfo> {
 public:
  std::string Description() override { return description_; }
  void Description(const std::string& value) override { description_ = value; }
  std::string Author() override { return author_; }
  void Author(const std::string& value) override { author_ = value; }
  std::string Company() override { return company_; }
  void Company(const std::string& value) override { company_ = value; }
  std::string WebAddress() override { return web_address_; }
  void WebAddress(const std::string& value) override { web_address_ = value; }
  std::string Version() override { return version_; }
  void Version(const std::string& value) override { version_ = value; }
  com::ComPtr<orvex::Picture> Picture() override { return picture_; }
  void Picture(const com::ComPtr<orvex::Picture>& value) override { picture_ = value; }
  com::ComPtr<orvex::Picture> Icon() override { return icon_; }
  void Icon(const com::ComPtr<orvex::Picture>& value) override { icon_ = value; }
  com::ComPtr<orvex::Picture> LocationIcon() override { return location_icon_; }
  void LocationIcon(const com::ComPtr<orvex::Picture>& value) override { location_icon_ = value; }
  com::ComPtr<PluginCommands> Commands() override { return commands_; }
  std::string LocationType() override { return location_type_; }
  void LocationType(const std::string& value) override { location_type_ = value; }
  std::int32_t Number1() override { return numbers_[0]; }
  void Number1(std::int32_t value) override { numbers_[0] = value; }
  std::int32_t Number2() override { return numbers_[1]; }
  void Number2(std::int32_t value) override { numbers_[1] = value; }
  std::int32_t Number3() override { return numbers_[2]; }
  void Number3(std::int32_t value) override { numbers_[2] = value; }
  std::int32_t Number4() override { return numbers_[3]; }
  void Number4(std::int32_t value) override { numbers_[3] = value; }
  std::string SettingsKey() override {
    return settings_key_.empty() ? "Plugins\\" + location_type_ : settings_key_;
  }
  void SettingsKey(const std::string& value) override { settings_key_ = value; }
  std::string LastError() override { return last_error_; }
  void LastError(const std::string& value) override { last_error_ = value; }
  std::string ID() override { return id_; }
  void ID(const std::string& value) override { id_ = value; }

 private:
  std::string description_, author_, company_, web_address_, version_, location_type_;
  std::string settings_key_, last_error_, id_;
  com::ComPtr<orvex::Picture> picture_, icon_, location_icon_;
  com::ComPtr<PluginCommands> commands_ = PluginCommandsObject::Create();
  std::int32_t numbers_[4] = {0, 0, 0, 0};
};

}  // namespace

com::ComPtr<PluginInfo> NewPluginInfo() { return PluginInfoObject::Create(); }

}  // namespace orvex
