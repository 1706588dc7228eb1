#pragma once
// HostFileStream: the host's description of one file transfer. The host sets
// the file, the access mode, the count of the next block and the status; the
// plug-in keeps its open remote handle in `Handle`.

#include <cstdint>

#include "connection/host/host_file.h"

namespace orvex {

struct HostFileStream : com::IUnknown {
  static constexpr com::IID kIid = com::MakeGuid("{401595A0-6ADF-4A06-BCDA-B3A18ADD4F9F}");

  static constexpr std::int32_t kAccessRead = 4;
  static constexpr std::int32_t kAccessWrite = 8;
  // Status flag: the host abandons the upload.
  static constexpr std::int32_t kStatusAbandoned = 8;

  virtual com::ComPtr<HostFile> File() = 0;
  virtual void File(const com::ComPtr<HostFile>& value) = 0;
  virtual std::int32_t Status() = 0;
  virtual void Status(std::int32_t value) = 0;
  virtual std::int32_t AccessMode() = 0;
  virtual void AccessMode(std::int32_t value) = 0;
  virtual std::int32_t Handle() = 0;
  virtual void Handle(std::int32_t value) = 0;
  // Bytes to move in the next read or write.
  virtual std::int32_t Count() = 0;
  virtual void Count(std::int32_t value) = 0;
};

}  // namespace orvex
