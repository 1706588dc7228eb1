#pragma once
// iPC: the interface every location plug-in implements, members in the
// host's order. Arguments the host passes by reference arrive as const
// references, except the transfer buffer, which the plug-in fills or reads in
// place.

#include <cstdint>
#include <string>
#include <vector>

#include "connection/host/host_file.h"
#include "connection/host/host_file_stream.h"
#include "connection/host/plugin_info.h"
#include "connection/host/plugin_interface.h"
#include "platform/script/collection.h"
#include "platform/variant.h"

namespace orvex {

struct iPC : com::IUnknown {
  static constexpr com::IID kIid = com::MakeGuid("{FF037027-E704-4182-9997-5FF946C10D94}");

  // Value of the host's Create enumeration meaning "ask the user if needed".
  static constexpr std::int32_t kCreateDefault = -1;

  virtual std::string iPC_InitialLocation() = 0;
  virtual std::string iPC_Location() = 0;
  virtual std::string iPC_LocationName() = 0;
  virtual com::ComPtr<PluginInfo> iPC_Properties() = 0;
  virtual std::int32_t iPC_Settings() = 0;
  virtual bool iPC_Connected() = 0;
  virtual com::ComPtr<orvex::PluginInterface> iPC_PluginInterface() = 0;
  virtual void iPC_PluginInterface(const com::ComPtr<orvex::PluginInterface>& value) = 0;
  virtual void iPC_Init(const com::ComPtr<orvex::PluginInterface>& plugin_interface,
                        const std::string& id, const std::string& initial_location) = 0;
  virtual bool iPC_Connect(std::int32_t create = kCreateDefault) = 0;
  virtual void iPC_Disconnect() = 0;
  virtual com::ComPtr<script::Collection> iPC_GetFiles(const std::string& folder_path) = 0;
  virtual com::ComPtr<HostFile> iPC_GetFile(const std::string& file_path) = 0;
  virtual com::ComPtr<script::Collection> iPC_GetFolders(const std::string& folder_path) = 0;
  virtual com::ComPtr<HostFolder> iPC_GetFolder(const std::string& folder_path) = 0;
  virtual bool iPC_DeleteFile(const com::ComPtr<HostFile>& file, std::int32_t options) = 0;
  virtual bool iPC_DeleteFolder(const com::ComPtr<HostFolder>& folder, std::int32_t options) = 0;
  virtual com::ComPtr<HostFile> iPC_RenameFile(const com::ComPtr<HostFile>& file,
                                               const std::string& new_name) = 0;
  virtual com::ComPtr<HostFolder> iPC_RenameFolder(const com::ComPtr<HostFolder>& folder,
                                                   const std::string& new_name) = 0;
  virtual bool iPC_OpenFile(const com::ComPtr<HostFileStream>& file_stream) = 0;
  virtual bool iPC_WriteFile(const com::ComPtr<HostFileStream>& file_stream,
                             std::vector<std::uint8_t>& buffer) = 0;
  virtual bool iPC_ReadFile(const com::ComPtr<HostFileStream>& file_stream,
                            std::vector<std::uint8_t>& buffer) = 0;
  virtual bool iPC_SeekFile(const com::ComPtr<HostFileStream>& file_stream, double position) = 0;
  virtual bool iPC_CloseFile(const com::ComPtr<HostFileStream>& file_stream) = 0;
  virtual com::ComPtr<HostFolder> iPC_CreateFolder(const std::string& folder_path) = 0;
  virtual void iPC_ClearFolderCache(const std::string& folder_path, bool recursive) = 0;
  virtual Variant iPC_ExecuteCommand(const com::ComPtr<ContextCommand>& context_command,
                                     const Variant& folders = {}, const Variant& files = {},
                                     const Variant& options = {}) = 0;
};

}  // namespace orvex
