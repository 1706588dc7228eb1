// HostFile and HostFolder: plain stored values.
#include <memory>
#include <string_view>

#include "connection/host/host_objects.h"

namespace orvex {
namespace {

// An item's Path. The items of one listing all lie in the listed folder, so
// a path that is a folder's path, "\" and the item's name keeps the folder
// part shared with the item made before it instead of a copy of its own:
// a listing of a million entries then holds one copy of the folder's path.
// One shared pointer either way, so that an item stays small.
class ItemPath {
 public:
  std::string Get(const std::string& name) const {
    if (!text_) return {};
    return text_->parent ? text_->text + "\\" + name : text_->text;
  }

  void Set(const std::string& value, const std::string& name) {
    text_.reset();
    const std::size_t prefix = value.size() - name.size() - 1;
    if (!name.empty() && value.size() > name.size() && value[prefix] == '\\' &&
        value.compare(prefix + 1, name.size(), name) == 0) {
      thread_local std::shared_ptr<const Text> last_parent;
      const std::string_view parent(value.data(), prefix);
      if (!last_parent || last_parent->text != parent) {
        last_parent = std::make_shared<const Text>(Text{std::string(parent), true});
      }
      text_ = last_parent;
      return;
    }
    text_ = std::make_shared<const Text>(Text{value, false});
  }

  // Before the name changes: the path stays what it was.
  void Keep(const std::string& name) {
    if (!text_ || !text_->parent) return;
    text_ = std::make_shared<const Text>(Text{Get(name), false});
  }

 private:
  struct Text {
    std::string text;
    bool parent;  // the folder the item's name is added to; else the whole path
  };
  std::shared_ptr<const Text> text_;
};

class HostFileObject final : public com::Object<HostFileObject, HostFile> {
 public:
  std::string Name() override { return name_; }
  void Name(const std::string& value) override {
    path_.Keep(name_);
    name_ = value;
  }
  double Size() override { return size_; }
  void Size(double value) override { size_ = value; }
  Date DateModified() override { return date_; }
  void DateModified(Date value) override { date_ = value; }
  std::int32_t Attributes() override { return attributes_; }
  void Attributes(std::int32_t value) override { attributes_ = value; }
  std::string Path() override { return path_.Get(name_); }
  void Path(const std::string& value) override { path_.Set(value, name_); }
  bool Deleted() override { return deleted_; }
  void Deleted(bool value) override { deleted_ = value; }

  void Init(const std::string& path, const std::string& name, double size, Date date,
            std::int32_t number, bool flag) override {
    name_ = name;
    path_.Set(path, name_);
    size_ = size;
    date_ = date;
    attributes_ = number;
    flag_ = flag;
  }

  com::ComPtr<HostFile> Clone() override {
    auto copy = Create();
    copy->Init(Path(), name_, size_, date_, attributes_, flag_);
    copy->deleted_ = deleted_;
    return copy;
  }

 private:
  // Declared first: it fits in the room the base class leaves after its
  // 32-bit reference count.
  std::int32_t attributes_ = 0;
  ItemPath path_;
  std::string name_;
  double size_ = 0;
  Date date_;
  bool deleted_ = false;
  bool flag_ = false;
};

class HostFolderObject final : public com::Object<HostFolderObject, HostFolder> {
 public:
  std::string Path() override { return path_.Get(name_); }
  void Path(const std::string& value) override { path_.Set(value, name_); }
  std::string Name() override { return name_; }
  void Name(const std::string& value) override {
    path_.Keep(name_);
    name_ = value;
  }
  Date DateModified() override { return date_; }
  void DateModified(Date value) override { date_ = value; }
  std::int32_t Attributes() override { return attributes_; }
  void Attributes(std::int32_t value) override { attributes_ = value; }
  bool Deleted() override { return deleted_; }
  void Deleted(bool value) override { deleted_ = value; }

  void Init(const std::string& path, const std::string& name, Date date, std::int32_t number,
            bool flag) override {
    name_ = name;
    path_.Set(path, name_);
    date_ = date;
    attributes_ = number;
    flag_ = flag;
  }

  com::ComPtr<HostFolder> Clone() override {
    auto copy = Create();
    copy->Init(Path(), name_, date_, attributes_, flag_);
    copy->deleted_ = deleted_;
    return copy;
  }

 private:
  std::int32_t attributes_ = 0;  // first, as in HostFileObject
  ItemPath path_;
  std::string name_;
  Date date_;
  bool deleted_ = false;
  bool flag_ = false;
};

// A listing holds one item per entry: at 88 bytes an item takes a 96-byte
// block from the allocator, where 96 bytes took 112.
static_assert(sizeof(HostFileObject) <= 88 && sizeof(HostFolderObject) <= 88);

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
