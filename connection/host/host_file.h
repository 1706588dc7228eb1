#pragma once
// HostFile and HostFolder: the host's items for a remote file or folder.
//
// Paths are host paths ("ftp://server\dir\name"). Properties are read with the
// plain name and written with the one-argument overload. `Init` sets every
// value at once; `Clone` returns a new item with the same values.

#include <cstdint>
#include <string>

#include "platform/com/unknown.h"
#include "platform/date.h"

namespace orvex {

struct HostFile : com::IUnknown {
  static constexpr com::IID kIid = com::MakeGuid("{F1108BED-75B6-40AE-B4A1-2223EA4EB505}");

  virtual std::string Name() = 0;
  virtual void Name(const std::string& value) = 0;
  // Bytes; a double so that sizes beyond 4 GiB are exact.
  virtual double Size() = 0;
  virtual void Size(double value) = 0;
  virtual Date DateModified() = 0;
  virtual void DateModified(Date value) = 0;
  virtual std::int32_t Attributes() = 0;
  virtual void Attributes(std::int32_t value) = 0;
  virtual std::string Path() = 0;
  virtual void Path(const std::string& value) = 0;
  virtual bool Deleted() = 0;
  virtual void Deleted(bool value) = 0;

  // Path, Name, Size, DateModified, Attributes (the number) and a flag whose
  // meaning belongs to the host.
  virtual void Init(const std::string& path, const std::string& name, double size, Date date,
                    std::int32_t number, bool flag) = 0;
  virtual com::ComPtr<HostFile> Clone() = 0;
};

struct HostFolder : com::IUnknown {
  static constexpr com::IID kIid = com::MakeGuid("{7D11F761-5B9C-4F4A-B453-01E98B9363F7}");

  virtual std::string Path() = 0;
  virtual void Path(const std::string& value) = 0;
  virtual std::string Name() = 0;
  virtual void Name(const std::string& value) = 0;
  virtual Date DateModified() = 0;
  virtual void DateModified(Date value) = 0;
  virtual std::int32_t Attributes() = 0;
  virtual void Attributes(std::int32_t value) = 0;
  virtual bool Deleted() = 0;
  virtual void Deleted(bool value) = 0;

  virtual void Init(const std::string& path, const std::string& name, Date date,
                    std::int32_t number, bool flag) = 0;
  virtual com::ComPtr<HostFolder> Clone() = 0;
};

}  // namespace orvex
