#include "host/app/settings_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <sqlite3.h>

#include <limits>
#include <system_error>
#include <thread>

#include "platform/error.h"
#include "platform/script/text_compare.h"

namespace orvex::hostapp {
namespace {

// Type codes of the `type` column. Stored numbers, never reordered.
enum StoredType : int {
  kStoredEmpty = 0,
  kStoredBoolean = 1,
  kStoredInteger = 2,
  kStoredLong = 3,
  kStoredDouble = 4,
  kStoredDate = 5,
  kStoredString = 6,
};

constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS setting_values ("
    " folded_key TEXT NOT NULL,"
    " folded_name TEXT NOT NULL,"
    " key_path TEXT NOT NULL,"
    " name TEXT NOT NULL,"
    " type INTEGER NOT NULL,"
    " value,"
    " PRIMARY KEY (folded_key, folded_name)) WITHOUT ROWID";

constexpr const char* kRead =
    "SELECT type, value FROM setting_values WHERE folded_key = ?1 AND folded_name = ?2";

// One statement, so it is one transaction: concurrent writers of the same
// value serialise on the database lock and the last one wins.
constexpr const char* kWrite =
    "INSERT INTO setting_values (folded_key, folded_name, key_path, name, type, value)"
    " VALUES (?1, ?2, ?3, ?4, ?5, ?6)"
    " ON CONFLICT (folded_key, folded_name) DO UPDATE SET type = excluded.type, value = excluded.value";

// "\"-separated components without empty ones, joined by single "\".
std::string NormaliseKey(std::string_view path) {
  std::string key;
  std::size_t start = 0;
  while (start <= path.size()) {
    auto end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) {
      if (!key.empty()) key += '\\';
      key.append(path.substr(start, end - start));
    }
    start = end + 1;
  }
  return key;
}

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

}  // namespace

DatabaseSettingsStore::DatabaseSettingsStore(const std::filesystem::path& file,
                                             std::chrono::milliseconds busy_timeout)
    : file_(file) {
  if (file_.has_parent_path()) {
    std::error_code ignored;
    std::filesystem::create_directories(file_.parent_path(), ignored);
  }
  // The store holds logins (passwords only encoded, but still): a new
  // database is readable by its owner alone. SQLite gives its journal files
  // the permissions of the main file.
  if (int descriptor = ::open(file_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600); descriptor >= 0) {
    ::close(descriptor);
  }
  const int opened = sqlite3_open_v2(file_.c_str(), &database_,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (opened != SQLITE_OK) {
    std::string reason = database_ ? sqlite3_errmsg(database_) : sqlite3_errstr(opened);
    sqlite3_close(database_);
    database_ = nullptr;
    Raise(error_number::kAutomationError,
          "Cannot open the settings database " + file_.string() + ": " + reason);
  }
  try {
    sqlite3_busy_timeout(database_, static_cast<int>(busy_timeout.count()));
    // Switching the journal and creating the table take locks that a second
    // process opening the same file at the same moment may hold; the busy
    // handler does not cover every such case, so these retry on their own.
    const auto deadline = std::chrono::steady_clock::now() + busy_timeout;
    for (const char* sql : {"PRAGMA journal_mode = WAL", "PRAGMA synchronous = FULL", kCreateTable}) {
      for (;;) {
        const int result = sqlite3_exec(database_, sql, nullptr, nullptr, nullptr);
        if (result == SQLITE_OK) break;
        if ((result != SQLITE_BUSY && result != SQLITE_LOCKED) ||
            std::chrono::steady_clock::now() > deadline) {
          Fail("preparing");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
    read_ = Prepare(kRead);
    write_ = Prepare(kWrite);
  } catch (...) {
    sqlite3_finalize(read_);
    sqlite3_finalize(write_);
    sqlite3_close(database_);
    throw;
  }
}

DatabaseSettingsStore::~DatabaseSettingsStore() {
  sqlite3_finalize(read_);
  sqlite3_finalize(write_);
  sqlite3_close(database_);
}

void DatabaseSettingsStore::Fail(const std::string& doing) const {
  Raise(error_number::kAutomationError,
        "Settings database " + file_.string() + ": " + doing + " failed: " + sqlite3_errmsg(database_));
}

sqlite3_stmt* DatabaseSettingsStore::Prepare(const char* sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(database_, sql, -1, &statement, nullptr) != SQLITE_OK) Fail("preparing");
  return statement;
}

DatabaseSettingsStore::Location DatabaseSettingsStore::Locate(const std::string& name) const {
  if (current_key_) return {*current_key_, name};
  const auto separator = name.rfind('\\');
  if (separator == std::string::npos) return {"", name};
  return {NormaliseKey(std::string_view(name).substr(0, separator)), name.substr(separator + 1)};
}

void DatabaseSettingsStore::BindLocation(sqlite3_stmt* statement, const Location& location) {
  BindText(statement, 1, script::FoldCase(location.key));
  BindText(statement, 2, script::FoldCase(location.name));
}

void DatabaseSettingsStore::Finish(sqlite3_stmt* statement, const std::string& doing) {
  int result;
  while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
  }
  sqlite3_reset(statement);
  sqlite3_clear_bindings(statement);
  if (result != SQLITE_DONE) Fail(doing);
}

void DatabaseSettingsStore::OpenKey(const std::string& path) {
  auto key = NormaliseKey(path);
  if (key.empty()) {
    current_key_.reset();
  } else {
    current_key_ = std::move(key);
  }
}

Variant DatabaseSettingsStore::ReadString(const std::string& name) {
  const auto location = Locate(name);
  BindLocation(read_, location);
  const int result = sqlite3_step(read_);
  if (result == SQLITE_DONE) {
    sqlite3_reset(read_);
    return {};
  }
  if (result != SQLITE_ROW) {
    sqlite3_reset(read_);
    Fail("reading " + name);
  }
  Variant value;
  switch (sqlite3_column_int(read_, 0)) {
    case kStoredEmpty:
      break;
    case kStoredBoolean:
      value = Variant(sqlite3_column_int(read_, 1) != 0);
      break;
    case kStoredInteger:
      value = Variant(static_cast<std::int16_t>(sqlite3_column_int(read_, 1)));
      break;
    case kStoredLong:
      value = Variant(static_cast<std::int32_t>(sqlite3_column_int(read_, 1)));
      break;
    case kStoredDouble:
      // SQLite keeps a NaN as NULL.
      value = Variant(sqlite3_column_type(read_, 1) == SQLITE_NULL
                          ? std::numeric_limits<double>::quiet_NaN()
                          : sqlite3_column_double(read_, 1));
      break;
    case kStoredDate:
      value = Variant(Date(sqlite3_column_double(read_, 1)));
      break;
    case kStoredString: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(read_, 1));
      value = Variant(std::string(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(read_, 1))));
      break;
    }
    default:
      sqlite3_reset(read_);
      Raise(error_number::kAutomationError,
            "Settings database " + file_.string() + ": unknown value type for " + name);
  }
  sqlite3_reset(read_);
  sqlite3_clear_bindings(read_);
  return value;
}

void DatabaseSettingsStore::WriteValue(const std::string& name, const Variant& value) {
  const auto location = Locate(name);
  switch (value.type()) {
    case Variant::Type::Empty:
      sqlite3_bind_int(write_, 5, kStoredEmpty);
      sqlite3_bind_null(write_, 6);
      break;
    case Variant::Type::Boolean:
      sqlite3_bind_int(write_, 5, kStoredBoolean);
      sqlite3_bind_int(write_, 6, value.ToBoolean() ? 1 : 0);
      break;
    case Variant::Type::Integer:
      sqlite3_bind_int(write_, 5, kStoredInteger);
      sqlite3_bind_int(write_, 6, value.ToLong());
      break;
    case Variant::Type::Long:
      sqlite3_bind_int(write_, 5, kStoredLong);
      sqlite3_bind_int(write_, 6, value.ToLong());
      break;
    case Variant::Type::Double:
      sqlite3_bind_int(write_, 5, kStoredDouble);
      sqlite3_bind_double(write_, 6, value.ToDouble());
      break;
    case Variant::Type::Date:
      sqlite3_bind_int(write_, 5, kStoredDate);
      sqlite3_bind_double(write_, 6, value.ToDate().serial());
      break;
    case Variant::Type::String:
      sqlite3_bind_int(write_, 5, kStoredString);
      BindText(write_, 6, value.ToString());
      break;
    case Variant::Type::Array:
    case Variant::Type::Object:
      sqlite3_clear_bindings(write_);
      Raise(error_number::kTypeMismatch, "Type mismatch: a setting holds a single plain value");
  }
  BindLocation(write_, location);
  BindText(write_, 3, location.key);
  BindText(write_, 4, location.name);
  Finish(write_, "writing " + name);
}

bool DatabaseSettingsStore::ReadBoolean(const std::string& name) {
  const Variant value = ReadString(name);
  try {
    return value.ToBoolean();
  } catch (const Error&) {
    return false;  // a text that is neither a number nor a Boolean
  }
}

bool DatabaseSettingsStore::ValueExists(const std::string& name) {
  const auto location = Locate(name);
  BindLocation(read_, location);
  const int result = sqlite3_step(read_);
  sqlite3_reset(read_);
  sqlite3_clear_bindings(read_);
  if (result != SQLITE_ROW && result != SQLITE_DONE) Fail("looking up " + name);
  return result == SQLITE_ROW;
}

}  // namespace orvex::hostapp
