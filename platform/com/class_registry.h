#pragma once
// The per-user class registry: which library serves which class.
//
// A plain text file with one section per class identifier:
//
//   [{EAA199CE-0842-4EF9-A9FD-269060FAA47C}]
//   ProgID=OrvexFTP.Connection
//   InprocServer32=/abs/path/libOrvexFTP.so
//   ThreadingModel=Apartment
//
// Every change is a read-modify-write under an exclusive lock on a companion
// ".lock" file and lands by renaming a complete temporary file over the old
// one, so a reader never sees half a registry and two processes registering at
// once both keep their entries. Unknown values in a section are kept.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/guid.h"

namespace orvex::com {

struct ClassRegistration {
  CLSID clsid;
  std::string prog_id;
  std::string library_path;
  std::string threading_model;
  // Further values as stored ("TypeLib", ...), keyed by value name.
  std::map<std::string, std::string> other_values;
};

class ClassRegistry {
 public:
  // The environment variable that names another registry file (for tests).
  static constexpr char kPathVariable[] = "ORVEX_CLASS_REGISTRY";

  // $ORVEX_CLASS_REGISTRY, else $XDG_DATA_HOME/orvex/classes.registry, else
  // ~/.local/share/orvex/classes.registry.
  static std::filesystem::path DefaultPath();

  explicit ClassRegistry(std::filesystem::path path = DefaultPath());

  const std::filesystem::path& path() const { return path_; }

  // Adds or replaces the entry for the class; an older entry with the same
  // ProgID under another identifier is replaced too. Throws orvex::Error when
  // the file cannot be written.
  void Register(const ClassRegistration& registration);

  // Removes exactly the entry of `clsid`; false when there was none.
  bool Unregister(const CLSID& clsid);

  // Lookups read the file afresh; a missing file is an empty registry. A
  // malformed file throws orvex::Error naming the line.
  std::optional<ClassRegistration> FindByProgId(const std::string& prog_id) const;
  std::optional<ClassRegistration> FindByClsid(const CLSID& clsid) const;
  std::vector<ClassRegistration> All() const;

 private:
  std::filesystem::path path_;
};

}  // namespace orvex::com
