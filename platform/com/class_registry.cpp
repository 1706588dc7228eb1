#include "platform/com/class_registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/error.h"

namespace orvex::com {
namespace {

constexpr char kProgId[] = "ProgID";
constexpr char kLibrary[] = "InprocServer32";
constexpr char kThreadingModel[] = "ThreadingModel";

[[noreturn]] void RaiseIo(const std::string& what, const std::filesystem::path& path) {
  Raise(error_number::kPathNotFound,
        "Class registry: " + what + " '" + path.string() + "': " + std::strerror(errno));
}

std::string Trim(const std::string& text) {
  auto begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  auto end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

std::vector<ClassRegistration> Parse(const std::filesystem::path& path) {
  std::vector<ClassRegistration> entries;
  std::error_code missing;
  if (!std::filesystem::exists(path, missing)) return entries;
  std::ifstream in(path);
  if (!in) RaiseIo("cannot read", path);
  std::string line;
  int line_number = 0;
  while (std::getline(in, line)) {
    ++line_number;
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      auto clsid = ParseGuid(line.substr(1, line.size() - 2));
      if (!clsid) {
        Raise(error_number::kInvalidProcedureCall, "Class registry '" + path.string() + "' line " +
                                                       std::to_string(line_number) +
                                                       ": not a class identifier");
      }
      entries.push_back(ClassRegistration{*clsid, "", "", "", {}});
      continue;
    }
    auto equals = line.find('=');
    if (equals == std::string::npos || entries.empty()) {
      Raise(error_number::kInvalidProcedureCall, "Class registry '" + path.string() + "' line " +
                                                     std::to_string(line_number) +
                                                     ": expected Name=Value inside a section");
    }
    std::string name = Trim(line.substr(0, equals));
    std::string value = Trim(line.substr(equals + 1));
    ClassRegistration& entry = entries.back();
    if (name == kProgId) {
      entry.prog_id = value;
    } else if (name == kLibrary) {
      entry.library_path = value;
    } else if (name == kThreadingModel) {
      entry.threading_model = value;
    } else {
      entry.other_values[name] = value;
    }
  }
  return entries;
}

std::string Format(const std::vector<ClassRegistration>& entries) {
  std::ostringstream out;
  out << "# Per-user class registry: class identifier -> ProgID and serving library.\n";
  for (const auto& entry : entries) {
    out << "\n[" << FormatGuid(entry.clsid) << "]\n";
    out << kProgId << '=' << entry.prog_id << '\n';
    out << kLibrary << '=' << entry.library_path << '\n';
    out << kThreadingModel << '=' << entry.threading_model << '\n';
    for (const auto& [name, value] : entry.other_values) out << name << '=' << value << '\n';
  }
  return out.str();
}

// Holds an exclusive lock on the registry's companion lock file.
class RegistryLock {
 public:
  explicit RegistryLock(const std::filesystem::path& registry) {
    auto lock_path = registry;
    lock_path += ".lock";
    descriptor_ = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor_ < 0) RaiseIo("cannot open lock", lock_path);
    while (::flock(descriptor_, LOCK_EX) != 0) {
      if (errno != EINTR) RaiseIo("cannot lock", lock_path);
    }
  }
  ~RegistryLock() { ::close(descriptor_); }
  RegistryLock(const RegistryLock&) = delete;
  RegistryLock& operator=(const RegistryLock&) = delete;

 private:
  int descriptor_ = -1;
};

void WriteAtomically(const std::filesystem::path& path, const std::string& text) {
  auto temporary = path;
  temporary += ".tmp." + std::to_string(::getpid());
  int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (descriptor < 0) RaiseIo("cannot create", temporary);
  std::size_t written = 0;
  while (written < text.size()) {
    ssize_t result = ::write(descriptor, text.data() + written, text.size() - written);
    if (result < 0) {
      if (errno == EINTR) continue;
      int saved = errno;
      ::close(descriptor);
      ::unlink(temporary.c_str());
      errno = saved;
      RaiseIo("cannot write", temporary);
    }
    written += static_cast<std::size_t>(result);
  }
  bool synced = ::fsync(descriptor) == 0;
  ::close(descriptor);
  if (!synced || ::rename(temporary.c_str(), path.c_str()) != 0) {
    int saved = errno;
    ::unlink(temporary.c_str());
    errno = saved;
    RaiseIo("cannot replace", path);
  }
}

}  // namespace

std::filesystem::path ClassRegistry::DefaultPath() {
  if (const char* explicit_path = std::getenv(kPathVariable); explicit_path && *explicit_path) {
    return explicit_path;
  }
  std::filesystem::path data_home;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    data_home = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    data_home = std::filesystem::path(home) / ".local" / "share";
  } else {
    data_home = std::filesystem::temp_directory_path();
  }
  return data_home / "orvex" / "classes.registry";
}

ClassRegistry::ClassRegistry(std::filesystem::path path) : path_(std::move(path)) {}

void ClassRegistry::Register(const ClassRegistration& registration) {
  std::error_code ignored;
  if (path_.has_parent_path()) std::filesystem::create_directories(path_.parent_path(), ignored);
  RegistryLock lock(path_);
  auto entries = Parse(path_);
  std::erase_if(entries, [&](const ClassRegistration& entry) {
    return entry.clsid == registration.clsid ||
           (!registration.prog_id.empty() && entry.prog_id == registration.prog_id);
  });
  entries.push_back(registration);
  WriteAtomically(path_, Format(entries));
}

bool ClassRegistry::Unregister(const CLSID& clsid) {
  if (!std::filesystem::exists(path_)) return false;
  RegistryLock lock(path_);
  auto entries = Parse(path_);
  auto removed = std::erase_if(entries, [&](const ClassRegistration& entry) { return entry.clsid == clsid; });
  if (removed == 0) return false;
  WriteAtomically(path_, Format(entries));
  return true;
}

std::optional<ClassRegistration> ClassRegistry::FindByProgId(const std::string& prog_id) const {
  for (auto& entry : Parse(path_)) {
    if (entry.prog_id == prog_id) return entry;
  }
  return std::nullopt;
}

std::optional<ClassRegistration> ClassRegistry::FindByClsid(const CLSID& clsid) const {
  for (auto& entry : Parse(path_)) {
    if (entry.clsid == clsid) return entry;
  }
  return std::nullopt;
}

std::vector<ClassRegistration> ClassRegistry::All() const { return Parse(path_); }

}  // namespace orvex::com
