#pragma once
// DatabaseSettingsStore: the reference host's settings store, kept in an
// SQLite database file.
//
// Layout: a tree of keys, each holding named values. Key paths are
// "\"-separated ("Plugins\FTP\ftp://server"); empty components are ignored,
// so "\Plugins\\FTP\" is "Plugins\FTP". Key paths and value names compare
// without regard to letter case, as in a registry; the spelling of the first
// write is the one stored.
//
// Naming a value:
//  - after OpenKey(path) with a non-empty path, a name is a value name in
//    that key, taken literally (a "\" in it is part of the name);
//  - while no key is open (before any OpenKey, or after OpenKey("")), a name
//    may be a whole path: everything before its last "\" is the key, the rest
//    the value name ("Plugins\FTP\UseTempCopy"). A plain name with no key
//    open belongs to the root key "".
//
// Values keep their type: Empty, Boolean, Integer (16-bit), Long (32-bit),
// Double, Date and String are read back exactly as written. Arrays and
// objects cannot be stored (raises 13, nothing written).
//
// Durability and sharing: every write is its own transaction, committed to
// disk before WriteValue returns. Several processes (and several stores in
// one process) may use the same file at once: the database runs with a
// write-ahead journal and waits up to the busy timeout for another writer
// instead of failing. A database error raises orvex::Error 440 whose
// description names the file and SQLite's reason.
//
// One object is meant for one thread at a time (the host's thread).

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "connection/host/plugin_interface.h"

struct sqlite3;
struct sqlite3_stmt;

namespace orvex::hostapp {

class DatabaseSettingsStore final : public com::Object<DatabaseSettingsStore, SettingsStore> {
 public:
  // Opens or creates the database at `file`, creating missing parent
  // folders. Raises 440 when the file cannot be opened or prepared.
  explicit DatabaseSettingsStore(const std::filesystem::path& file,
                                 std::chrono::milliseconds busy_timeout = std::chrono::seconds(10));
  ~DatabaseSettingsStore() override;

  void OpenKey(const std::string& path) override;
  // The stored value with its type; Empty when never written.
  Variant ReadString(const std::string& name) override;
  // Creates or replaces the value. Raises 13 for an array or an object.
  void WriteValue(const std::string& name, const Variant& value) override;
  // True for a non-zero number or date, the Boolean true and a text that
  // reads as true ("True", "1", "-1"); false for anything else, including a
  // value never written and a text that reads as neither.
  bool ReadBoolean(const std::string& name) override;
  bool ValueExists(const std::string& name) override;

  // The open key as normalised, or nullopt when none is open.
  const std::optional<std::string>& CurrentKey() const { return current_key_; }
  const std::filesystem::path& File() const { return file_; }

 private:
  struct Location {
    std::string key;   // normalised key path
    std::string name;  // value name
  };
  Location Locate(const std::string& name) const;
  [[noreturn]] void Fail(const std::string& doing) const;
  void Execute(const char* sql);
  sqlite3_stmt* Prepare(const char* sql);
  // Binds the folded key and name of `location` as parameters 1 and 2.
  void BindLocation(sqlite3_stmt* statement, const Location& location);
  // Runs `statement` to completion and resets it; raises on failure.
  void Finish(sqlite3_stmt* statement, const std::string& doing);

  std::filesystem::path file_;
  sqlite3* database_ = nullptr;
  sqlite3_stmt* read_ = nullptr;
  sqlite3_stmt* write_ = nullptr;
  std::optional<std::string> current_key_;
};

}  // namespace orvex::hostapp
