// HostFile and HostFolder: plain stored values.
#include "connection/host/host_objects.h"

namespace orvex {
namespace {

class HostFileObject final : public com::Object<HostFileObject, HostFile> {
 public:
  std::string Name() override { return name_; }
  void Name(const std::string& value) override { name_ = value; }
  double Size() override { return size_; }
  void Size(double value) override { size_ = value; }
  Date DateModified() override { return date_; }
  void DateModified(Date value) override { date_ = value; }
  std::int32_t Attributes() override { return attributes_; }
  void Attributes(std::int32_t value) override { attributes_ = value; }
  std::string Path() override { return path_; }
  void Path(const std::string& value) override { path_ = value; }
  bool Deleted() override { return deleted_; }
  void Deleted(bool value) override { deleted_ = value; }

  void Init(const std::string& path, const std::string& name, double size, Date date,
            std::int32_t number, bool flag) override {
    path_ = path;
    name_ = name;
    size_ = size;
    date_ = date;
    attributes_ = number;
    flag_ = flag;
  }

  com::ComPtr<HostFile> Clone() override {
    auto copy = Create();
    copy->Init(path_, name_, size_, date_, attributes_, flag_);
    copy->deleted_ = deleted_;
    return copy;
  }

 private:
  std::string path_, name_;
  double size_ = 0;
  Date date_;
  std::int32_t attributes_ = 0;
  bool deleted_ = false;
  bool flag_ = false;
};

class HostFolderObject final : public com::Object<HostFolderObject, HostFolder> {
 public:
  std::string Path() override { return path_; }
  void Path(const std::string& value) override { path_ = value; }
  std::string Name() override { return name_; }
  void Name(const std::string& value) override { name_ = value; }
  Date DateModified() override { return date_; }
  void DateModified(Date value) override { date_ = value; }
  std::int32_t Attributes() override { return attributes_; }
  void Attributes(std::int32_t value) override { attributes_ = value; }
  bool Deleted() override { return deleted_; }
  void Deleted(bool value) override { deleted_ = value; }

  void Init(const std::string& path, const std::string& name, Date date, std::int32_t number,
            bool flag) override {
    path_ = path;
    name_ = name;
    date_ = date;
    attributes_ = number;
    flag_ = flag;
  }

  com::ComPtr<HostFolder> Clone() override {
    auto copy = Create();
    copy->Init(path_, name_, date_, attributes_, flag_);
    copy->deleted_ = deleted_;
    return copy;
  }

 private:
  std::string path_, name_;
  Date date_;
  std::int32_t attributes_ = 0;
  bool deleted_ = false;
  bool flag_ = false;
};

class HostFileStreamObject final : public com::Object<HostFileStreamObject, HostFileStream> {
 public:
  com::ComPtr<HostFile> File() override { return file_; }
  void File(const com::ComPtr<HostFile>& value) override { file_ = value; }
  std::int32_t Status() override { return status_; }
  void Status(std::int32_t value) override { status_ = value; }
  std::int32_t AccessMode() override { return access_mode_; }
  void AccessMode(std::int32_t value) override { access_mode_ = value; }
  std::int32_t Handle() override { return handle_; }
  void Handle(std::int32_t value) override { handle_ = value; }
  std::int32_t Count() override { return count_; }
  void Count(std::int32_t value) override { count_ = value; }

 private:
  com::ComPtr<HostFile> file_;
  std::int32_t status_ = 0, access_mode_ = 0, handle_ = 0, count_ = 0;
};

}  // namespace

com::ComPtr<HostFile> NewHostFile() { return HostFileObject::Create(); }
com::ComPtr<HostFolder> NewHostFolder() { return HostFolderObject::Create(); }
com::ComPtr<HostFileStream> NewHostFileStream() { return HostFileStreamObject::Create(); }

}  // namespace orvex
