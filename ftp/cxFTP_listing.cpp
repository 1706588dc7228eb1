// Folder listings into host items, through the host's folder cache.

#include <algorithm>
#include <cstring>
#include <deque>
#include <exception>
#include <optional>

#include "connection/host/host_objects.h"
#include "ftp/cxFTP.h"
#include "platform/inet/wininet.h"
#include "platform/error.h"

namespace orvex {

using namespace orvex::wininet;

namespace {

// FtpListFilesA's callback: hands each entry to the caller's `Take`.
template <class Take>
BOOL TakeEntry(const WIN32_FIND_DATAA* entry, void* context) {
  return (*static_cast<Take*>(context))(*entry) ? win32::kTrue : win32::kFalse;
}

// Keys ignore letter case, a case-sensitive server does not: of names that
// differ only in case the first is keyed, the others are kept without a key.
// The keyed add is tried first (one search of the index, where asking first
// would take two); its refusal means a case twin holds the key.
void AddByName(script::Collection& collection, const Variant& item, const std::string& name) {
  try {
    collection.Add(item, name);
  } catch (const Error& taken) {
    if (taken.number() != error_number::kKeyAlreadyAssociated) throw;
    collection.Add(item);
  }
}

// The listed item called `name`: the keyed one, unless its name differs in
// letter case and an unkeyed item carries the name exactly.
template <class Item>
com::ComPtr<Item> FindByName(const script::Collection& collection, const std::string& name) {
  const auto keyed = collection.Find(name);
  if (!keyed) return {};
  auto item = keyed->AsInterface<Item>();
  if (!item || item->Name() == name) return item;
  for (std::int32_t position = 1; position <= collection.Count(); ++position) {
    auto candidate = collection.Item(position).template AsInterface<Item>();
    if (candidate && candidate->Name() == name) return candidate;
  }
  return item;
}

bool SameLocation(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return x == y || ((x == '/' || x == '\\') && (y == '/' || y == '\\'));
  });
}

}  // namespace

bool cxFTP::ListDirectory(const std::string& Path, com::ComPtr<script::Collection>& Files,
                          com::ComPtr<script::Collection>& Folders) {
  OperationScope scope(*this);
  Files = nullptr;
  Folders = nullptr;
  if (!NoCache_) CacheObject().GetContents(Path, Folders, Files);
  if (Files && Folders) return true;

  Files = script::NewCollection();
  Folders = script::NewCollection();
  if (!RestoreLostConnection()) return false;
  CurrentPath_ = ServerPath(Path);
  if (!FtpSetCurrentDirectoryA(hConnection_, CurrentPath_.c_str())) {
    if (HandleError(GetLastError())) return ListDirectory(Path, Files, Folders);
    return false;
  }

  // Items are made while the listing arrives, and reach the cache and the
  // caller only once the server has confirmed the whole listing. A listing
  // that was refused, cut short or lost with the connection throws away
  // what it made: it must never pass for an empty or a shorter folder, which
  // a synchronising host would take for deleted items.
  std::deque<ListedTime> listed;
  std::optional<bool> times_wait;
  std::exception_ptr failure;
  std::string name;
  std::string path;  // one buffer for every item's path
  auto take = [&](const WIN32_FIND_DATAA& entry) {
    try {
      // Listed times wait for the listing's time zone, except where there
      // is nothing to learn: machine listings give true times, and only an
      // owner's correction changes them. Asked at the first entry, once the
      // server has settled which form of listing it sends.
      if (!times_wait) {
        times_wait = !(ServerTraits() & FTP_TRAIT_MACHINE_LISTING) || offset_override_.has_value();
      }
      name.assign(entry.cFileName, ::strnlen(entry.cFileName, sizeof entry.cFileName));
      path.assign(Path).append("\\").append(name);
      const Date modified = FileTimeToDate(entry.ftLastWriteTime);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        auto folder = NewHostFolder();
        folder->Init(path, name, modified, 0, false);
        if (*times_wait) listed.push_back({nullptr, folder, entry.ftLastWriteTime});
        const bool navigation = name == "." || name == "..";
        if (!(SkipServUNavigationFolders_ && navigation)) AddByName(*Folders, Variant(folder), name);
      } else {
        auto file = NewHostFile();
        file->Init(path, name, static_cast<double>(entry.FileSize()), modified, 0, false);
        if (*times_wait) listed.push_back({file, nullptr, entry.ftLastWriteTime});
        AddByName(*Files, Variant(file), name);
      }
      return true;
    } catch (...) {
      failure = std::current_exception();  // stops the listing; raised below
      return false;
    }
  };
  const BOOL complete = FtpListFilesA(hConnection_, nullptr, &TakeEntry<decltype(take)>, &take);
  if (!complete || failure) {
    const DWORD error = GetLastError();
    Files = script::NewCollection();
    Folders = script::NewCollection();
    if (failure) std::rethrow_exception(failure);
    if (HandleError(error)) return ListDirectory(Path, Files, Folders);
    return false;
  }

  // Said apart, never dropped in silence: a host that took these names'
  // absence for absent items would delete their namesakes on its side.
  std::vector<LeftOut> left_out;
  FTP_OMITTED_ENTRY omitted;
  for (DWORD index = 0; FtpGetOmittedEntryA(hConnection_, index, &omitted); ++index) {
    left_out.push_back({std::string(omitted.cFileName, omitted.dwNameLength),
                        omitted.dwReason == FTP_OMITTED_NOT_A_FILE,
                        (omitted.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  }
  left_out_[Path] = std::move(left_out);

  ApplyListingTimes(listed);
  CacheObject().SetFiles(Path, Files);
  CacheObject().SetFolders(Path, Folders);
  return true;
}

std::vector<cxFTP::LeftOut> cxFTP::LeftOutOfListing(const std::string& Path) const {
  const auto found = left_out_.find(Path);
  return found == left_out_.end() ? std::vector<LeftOut>() : found->second;
}

com::ComPtr<HostFile> cxFTP::GetFile(const std::string& Path) {
  bool listed = false;
  return GetFile(Path, listed);
}

com::ComPtr<HostFile> cxFTP::GetFile(const std::string& Path, bool& Listed) {
  OperationScope scope(*this);
  com::ComPtr<script::Collection> files;
  com::ComPtr<script::Collection> folders;
  Listed = ListDirectory(path_object_.GetParentFolderName(Path), files, folders);
  if (!Listed) return {};
  return FindByName<HostFile>(*files, path_object_.GetFileName(Path));
}

com::ComPtr<HostFolder> cxFTP::GetFolder(const std::string& Path) {
  bool listed = false;
  return GetFolder(Path, listed);
}

com::ComPtr<HostFolder> cxFTP::GetFolder(const std::string& Path, bool& Listed) {
  OperationScope scope(*this);
  // The location itself needs no listing (and its parent may not be
  // listable at all). "\" and "/" count alike here; a different folder whose
  // path happens to have the same length does not.
  if (Path.size() == Location_.size() && SameLocation(Path, Location_)) {
    Listed = true;
    auto root = NewHostFolder();
    root->Init(Path, path_object_.GetParentFolderName(Path), Date(0), 0, false);
    return root;
  }
  com::ComPtr<script::Collection> files;
  com::ComPtr<script::Collection> folders;
  Listed = ListDirectory(path_object_.GetParentFolderName(Path), files, folders);
  if (!Listed) return {};
  return FindByName<HostFolder>(*folders, path_object_.GetFileName(Path));
}

std::string cxFTP::GetCurrentDirectory() {
  OperationScope scope(*this);
  if (!RestoreLostConnection()) return {};
  std::string buffer(260, '\0');
  DWORD length = static_cast<DWORD>(buffer.size());
  BOOL read = FtpGetCurrentDirectoryA(hConnection_, buffer.data(), &length);
  if (!read && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    // A deep folder: ask again with the size the server's answer needs.
    buffer.assign(length + 1, '\0');
    read = FtpGetCurrentDirectoryA(hConnection_, buffer.data(), &length);
  }
  if (!read) {
    if (HandleError(GetLastError())) return GetCurrentDirectory();
    return {};
  }
  return BaseLocation_ + buffer.substr(0, length);
}

Date cxFTP::FileTimeToDate(const win32::FILETIME& FileTime) {
  win32::SYSTEMTIME system_time;
  FileTimeToSystemTime(&FileTime, &system_time);
  // A file time runs to the year 30827, a host date to the end of 9999: a
  // server's last second of 9999 in UTC is already later in any zone east
  // of Greenwich. Such a time is shown as the last one the host can hold,
  // rather than failing the whole listing over one item.
  if (system_time.wYear > 9999) {
    system_time = win32::SYSTEMTIME{};
    system_time.wYear = 9999;
    system_time.wMonth = 12;
    system_time.wDay = 31;
    system_time.wHour = 23;
    system_time.wMinute = 59;
    system_time.wSecond = 59;
  }
  return SystemTimeToDate(system_time);
}

Date cxFTP::SystemTimeToDate(const win32::SYSTEMTIME& SystemTime) {
  // Whole seconds, as the server's time is given; no zone conversion.
  CalendarTime calendar;
  calendar.year = SystemTime.wYear;
  calendar.month = SystemTime.wMonth;
  calendar.day = SystemTime.wDay;
  calendar.hour = SystemTime.wHour;
  calendar.minute = SystemTime.wMinute;
  calendar.second = SystemTime.wSecond;
  const auto date = Date::FromCalendar(calendar);
  if (!date) Raise(error_number::kTypeMismatch, "Type mismatch");
  return *date;
}

}  // namespace orvex
