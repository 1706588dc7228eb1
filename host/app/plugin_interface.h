#pragma once
// ReferencePluginInterface: what the reference host hands to a plug-in's
// iPC_Init - its application and its services.

#include "connection/host/plugin_interface.h"

namespace orvex::hostapp {

class ReferencePluginInterface final : public com::Object<ReferencePluginInterface, PluginInterface> {
 public:
  ReferencePluginInterface(com::ComPtr<HostApplication> application, com::ComPtr<HostServices> services)
      : application_(std::move(application)), services_(std::move(services)) {}

  com::ComPtr<HostApplication> Application() override { return application_; }
  com::ComPtr<HostServices> Services() override { return services_; }
  // The reference host knows no aliases or variables: the location comes
  // back as given, without the blanks (spaces, tabs, line breaks) around it,
  // which a location typed or pasted by a user often carries.
  std::string ResolveLocation(const std::string& location) override;

 private:
  const com::ComPtr<HostApplication> application_;
  const com::ComPtr<HostServices> services_;
};

}  // namespace orvex::hostapp
