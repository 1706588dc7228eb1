#pragma once
// cxFTP: one FTP session. A Connection owns two: FTP for listings and
// folder operations, TransferFTP for file contents.
//
// Failures never raise: operations return their failure value and leave the
// reason in LastError. The owner may hook OnError; the session itself never
// raises it.

#include <cstdint>
#include <functional>
#include <string>

#include "connection/host/folder_cache.h"

namespace orvex {

class cxFTP {
 public:
  using ErrorHandler = std::function<void(const std::string& message)>;

  cxFTP() = default;
  ~cxFTP();
  cxFTP(const cxFTP&) = delete;
  cxFTP& operator=(const cxFTP&) = delete;

  // Public variables, each with a getter and a setter.
  std::uint32_t hConnection() const { return hConnection_; }
  void hConnection(std::uint32_t value) { hConnection_ = value; }
  std::uint32_t hOpen() const { return hOpen_; }
  void hOpen(std::uint32_t value) { hOpen_ = value; }
  const com::ComPtr<FolderCache>& Cache() const { return Cache_; }
  void Cache(const com::ComPtr<FolderCache>& value) { Cache_ = value; }
  bool NoCache() const { return NoCache_; }
  void NoCache(bool value) { NoCache_ = value; }
  bool UsePassiveSemantics() const { return UsePassiveSemantics_; }
  void UsePassiveSemantics(bool value) { UsePassiveSemantics_ = value; }
  bool SkipServUNavigationFolders() const { return SkipServUNavigationFolders_; }
  void SkipServUNavigationFolders(bool value) { SkipServUNavigationFolders_ = value; }

  // Closes both handles; the stored texts, WasConnected and Cache stay.
  void Disconnect();
  // True exactly while hConnection is nonzero.
  bool Connected() const { return hConnection_ != 0; }
  const std::string& LastError() const { return LastError_; }

  // The OnError event, declared for the owner.
  void OnError(ErrorHandler handler) { on_error_ = std::move(handler); }

 private:
  std::uint32_t hConnection_ = 0;
  std::uint32_t hOpen_ = 0;
  com::ComPtr<FolderCache> Cache_;
  bool NoCache_ = false;
  bool UsePassiveSemantics_ = false;
  bool SkipServUNavigationFolders_ = false;
  std::string LastError_;
  ErrorHandler on_error_;
};

}  // namespace orvex
