#pragma once
// The host's services as the plug-in reaches them: PluginInterface (given to
// iPC_Init) -> Application -> Configuration -> Settings, and Services.

#include <cstdint>
#include <string>
#include <vector>

#include "connection/host/folder_cache.h"
#include "connection/host/picture.h"
#include "platform/variant.h"

namespace orvex {

struct iPC;

// The settings store: a tree of keys with named, typed values. OpenKey makes
// a key the place for plain value names; an empty path closes it. While no
// key is open, a name may be a whole path ("Plugins\FTP\UseTempCopy").
struct SettingsStore : com::IUnknown {
  static constexpr com::IID kIid = com::MakeGuid("{7B8FE95C-4D25-465D-B7E9-A722345F7F04}");

  virtual void OpenKey(const std::string& path) = 0;
  // The stored value; Empty when never written.
  virtual Variant ReadString(const std::string& name) = 0;
  virtual void WriteValue(const std::string& name, const Variant& value) = 0;
  // Any non-zero number is true; never written reads false.
  virtual bool ReadBoolean(const std::string& name) = 0;
  virtual bool ValueExists(const std::string& name) = 0;
};

struct HostConfiguration : com::IUnknown {
  static constexpr com::IID kIid = com::MakeGuid("{396CBC0B-DDDD-42BF-ACB8-5AF903CF6581}");

  virtual com::ComPtr<SettingsStore> Settings() = 0;
};

struct HostApplication : com::IUnknown {
  static constexpr com::IID kIid = com::MakeGuid("{66176CAC-70DE-4C78-B7AF-46C9FB7D6E7B}");

  virtual com::ComPtr<HostConfiguration> Configuration() = 0;
  // The cache for one server and base location, the same object for the same
  // pair.
  virtual com::ComPtr<FolderCache> GetFolderCache(const com::ComPtr<iPC>& plugin,
                                                  const std::string& server,
                                                  const std::string& location) = 0;
};

struct HostServices : com::IUnknown {
  static constexpr com::IID kIid = com::MakeGuid("{BB172475-A5AF-4D21-9DD2-40147F02E22E}");

  // Appends a line to the host's log. The plug-in logs its failures with
  // type kErrorLogType and, when asked to (ORVEX_FTP_TRACE), its FTP
  // dialogue with type kTraceLogType.
  static constexpr std::int32_t kErrorLogType = 4;
  static constexpr std::int32_t kTraceLogType = 16;
  virtual void Log(const std::string& text, std::int32_t type, const std::string& details) = 0;
  // Shows a modal message and returns the answer.
  virtual std::int32_t MessageBox(const std::string& text, std::int32_t flags,
                                  const std::string& title, const std::string& details,
                                  std::int32_t number, const com::ComPtr<com::IUnknown>& owner,
                                  const Variant& extra) = 0;
  virtual com::ComPtr<orvex::Picture> Icon() = 0;
  // The text in the host's language, with %1, %2, %3 replaced by the
  // parameters in order.
  virtual std::string Translate(const std::string& text,
                                const std::vector<std::string>& parameters) = 0;
};

struct PluginInterface : com::IUnknown {
  static constexpr com::IID kIid = com::MakeGuid("{BB727177-8448-4866-A0FC-5F9EF0FCB94B}");

  virtual com::ComPtr<HostApplication> Application() = 0;
  virtual com::ComPtr<HostServices> Services() = 0;
  // The location as the host wants it used (aliases and variables resolved).
  virtual std::string ResolveLocation(const std::string& location) = 0;
};

}  // namespace orvex
