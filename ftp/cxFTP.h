#pragma once
// cxFTP: one FTP session. A Connection owns two: FTP for listings and
// folder operations, TransferFTP for file contents.
//
// Paths. A host path (location) is "ftp://" + server + folders separated by
// "\" or "/"; items made by listings join their names with "\". A server path
// is what the server receives: it starts with "/" and uses "/" only.
//
// Failures never raise: operations return their failure value (false, "",
// an empty item, handle 0) and leave the reason in LastError as
// "<text> (<number>)". A success never clears LastError. The owner may hook
// OnError; the session itself never raises it.
//
// Reconnects. When an operation fails because the control connection was
// lost (aborted, reset or dropped) on a session whose last Connect succeeded,
// the session reconnects with the settings of its last Connect (login,
// proxy, NoCache) and repeats the operation. At most one reconnect is
// attempted per call the owner makes, however deep the operation goes (a
// tree deletion included); a reconnect never starts another one.
// A failed reconnect leaves the session without a connection and LastError
// reading
//   "Unable to reconnect to the server: <why> (<n>) The connection to the
//    server was lost and was not restored. (12163)"
// (12163 is ERROR_INTERNET_DISCONNECTED and always ends that text; <why> is
// the new connection's failure). The next operation tries to connect once
// more before it starts, and fails with the same form when that fails too.
// After the owner's Disconnect (or a failed Connect) nothing reconnects.
//
// Not thread-safe: one thread at a time, as the host calls.

#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "connection/host/folder_cache.h"
#include "connection/host/host_file.h"
#include "platform/date.h"
#include "platform/inet/wininet_security.h"
#include "platform/script/collection.h"
#include "platform/script/file_system_object.h"
#include "platform/win32/file_time.h"

namespace orvex {

class cxFTP {
 public:
  using ErrorHandler = std::function<void(const std::string& message)>;

  cxFTP() = default;
  ~cxFTP();
  cxFTP(const cxFTP&) = delete;
  cxFTP& operator=(const cxFTP&) = delete;

  // Public variables, each with a getter and a setter.
  // hConnection: the FTP connection handle (0 = none); hOpen: the internet
  // session handle (0 = none).
  std::uint32_t hConnection() const { return hConnection_; }
  void hConnection(std::uint32_t value) { hConnection_ = value; }
  std::uint32_t hOpen() const { return hOpen_; }
  void hOpen(std::uint32_t value) { hOpen_ = value; }
  // The host's folder cache for this server; listings and operations need it
  // set (an unset cache raises when a listing or operation reaches it).
  const com::ComPtr<FolderCache>& Cache() const { return Cache_; }
  void Cache(const com::ComPtr<FolderCache>& value) { Cache_ = value; }
  // True: listings ask the server even when the cache holds the folder (the
  // fresh listing still replaces the cached one). Each Connect sets it.
  bool NoCache() const { return NoCache_; }
  void NoCache(bool value) { NoCache_ = value; }
  // Passive data connections for the next Connect.
  bool UsePassiveSemantics() const { return UsePassiveSemantics_; }
  void UsePassiveSemantics(bool value) { UsePassiveSemantics_ = value; }
  // Leave folder entries named exactly "." and ".." out of listings.
  bool SkipServUNavigationFolders() const { return SkipServUNavigationFolders_; }
  void SkipServUNavigationFolders(bool value) { SkipServUNavigationFolders_ = value; }

  // Logs in and enters the folder the URL names. Handles of an earlier
  // connection on this object are closed first. Port: empty, not a number or
  // 0 means the default port 21 (a text that is not a number leaves the
  // stored Port as it was); any other number must be a port from 1 to 65535,
  // anything else is refused with LastError saying so. Proxy: empty for a
  // direct connection, otherwise handed on unchanged as the proxy text
  // ("host[:port]", "socks=host[:port]"); a proxy text the engine cannot use
  // is refused with LastError saying why.
  // True when connected and the URL's folder is the current folder; when that
  // folder cannot be entered the session is disconnected again.
  bool Connect(const std::string& URL, const std::string& UserName, const std::string& Password,
               std::string Port, const std::string& Proxy = "", bool NoCache = false);
  // Closes both handles; the stored texts, the cache and whether the last
  // Connect succeeded stay, so an operation after a dropped connection can
  // still reconnect.
  void Disconnect();
  // True exactly while hConnection is nonzero.
  bool Connected() const { return hConnection_ != 0; }
  // True after the connection was lost and a reconnect failed, until a
  // connect succeeds or the owner disconnects: the next operation tries to
  // connect again by itself.
  bool ConnectionLost() const { return connection_lost_; }

  // TLS for the next Connect: the mode (wininet::FTP_ENCRYPTION_*; none by
  // default, which is plain FTP), the pinned certificate fingerprint, a CA
  // file trusted besides the system's, and whether certificates are checked
  // at all. See ftp/wininet_security.h.
  const wininet::INTERNET_SECURITY_OPTIONS& Security() const { return Security_; }
  void Security(const wininet::INTERNET_SECURITY_OPTIONS& value) { Security_ = value; }
  // The TLS report of the last Connect that used TLS: the certificate
  // refused or accepted, or why TLS failed; empty texts otherwise.
  const wininet::INTERNET_SECURITY_REPORT& SecurityReport() const { return SecurityReport_; }

  // What the last Connect was given (Port: the last numeric port text).
  std::string Server() const { return Server_; }
  std::string UserName() const { return UserName_; }
  std::string Password() const { return Password_; }
  std::string Port() const { return Port_; }
  std::string Proxy() const { return Proxy_; }

  // "OK" when the last server reply carried no error code, otherwise the
  // code, a space and the reply text.
  std::string GetStatus();

  // The server's current folder as a host location (BaseLocation + server
  // path); "" when it cannot be read.
  std::string GetCurrentDirectory();

  // Lists the folder at host path `Path` into Files (HostFile items) and
  // Folders (HostFolder items), in the server's order, each keyed by name.
  // Answers from Cache when NoCache is false and Cache holds both listings
  // (the server is not contacted); otherwise lists the server and stores the
  // result in Cache. Item paths are `Path` + "\" + name. Names that differ
  // only in letter case are all listed: the first under its name as key, the
  // later ones without a key (found by position, not by name).
  // Only an empty folder lists as empty. False when the folder cannot be
  // entered or its listing fails in any way (refused, cut short, reset,
  // truncated, too slow, connection lost and not restored): both outputs
  // then hold empty collections, the cache is left alone and LastError says
  // why.
  bool ListDirectory(const std::string& Path, com::ComPtr<script::Collection>& Files,
                     com::ComPtr<script::Collection>& Folders);
  // What the server listed in the folder at `Path` but a listing cannot
  // carry (see FtpGetOmittedEntryA), as of the last time this session
  // listed it from the server; empty for a folder it never listed.
  struct LeftOut {
    std::string Name;  // as listed (may hold "/", "\", NUL)
    bool NotAFile = false;  // a device, socket or pipe; else an unusable name
    bool Folder = false;
  };
  std::vector<LeftOut> LeftOutOfListing(const std::string& Path) const;
  // The item at host path `Path` from a listing of its parent folder (name
  // looked up without regard to case), or empty. Empty also when the parent
  // could not be listed: the form with `Listed` tells the two apart (false:
  // the lookup itself failed, LastError says why).
  com::ComPtr<HostFile> GetFile(const std::string& Path);
  com::ComPtr<HostFile> GetFile(const std::string& Path, bool& Listed);
  // As GetFile; a path as long as Location is the location itself and is
  // answered with a new item without any listing.
  com::ComPtr<HostFolder> GetFolder(const std::string& Path);
  com::ComPtr<HostFolder> GetFolder(const std::string& Path, bool& Listed);

  // The deletions and renames below refuse, before anything is sent, a path
  // (or new name) that is or goes through "." or "..": a listed ".." is the
  // parent folder, and deleting it would empty the parent.
  //
  // Deletes File (or, when File is empty, the file at FilePath, touching no
  // item and no cache entry). On success File is marked Deleted and leaves
  // the cache.
  bool DeleteFile(const com::ComPtr<HostFile>& File, const std::string& FilePath = "");
  // Removes Folder. A folder the server refuses to remove (not empty, for
  // example) is emptied first: sub-folders in the same way, then files, then
  // the folder again, each deleted item marked and taken out of the cache.
  // A folder is emptied at most once per call; leaves the current folder
  // at "/".
  bool DeleteDirectory(const com::ComPtr<HostFolder>& Folder);
  // Renames within the item's folder. NewName is used as given. On success
  // the old item is marked Deleted, and it and a clone under the new name and
  // path ("\"-joined) go to the cache. With File empty, only the server
  // changes.
  bool RenameFile(const com::ComPtr<HostFile>& File, const std::string& NewName,
                  const std::string& FilePath = "");
  bool RenameFolder(const com::ComPtr<HostFolder>& Folder, const std::string& NewName,
                    const std::string& FolderPath = "");
  // RenameFile with File empty that first sets the file's modification time
  // to Modified, as SetFileTime would, in the same round trip. The result
  // is the rename's; TimeSet says whether the time was set (when the rename
  // worked and the time did not, LastError says why).
  bool RenameFileSettingTime(const std::string& FilePath, const std::string& NewName, Date Modified,
                             bool& TimeSet);
  // After a rename that failed: true only when the server took the item
  // being renamed and refused the new name for good (a 5xx answer to RNTO,
  // as when it will not rename onto an existing item); false when it turned
  // down the item itself, the connection was lost, or the refusal was 4xx.
  bool RenameTargetRefused() const { return rename_target_refused_; }
  // Creates the folder at Folder's path with any missing parents; each level
  // created enters the cache as a new item dated now. A folder that already
  // exists counts as created. On success Folder's Deleted becomes false.
  bool CreateFolder(const com::ComPtr<HostFolder>& Folder);

  // Streams. AccessMode: GENERIC_READ or GENERIC_WRITE; TransferMode:
  // FTP_TRANSFER_TYPE_ASCII, _BINARY or _UNKNOWN (binary). Returns the file
  // handle the caller owns until CloseFileStream, or 0. While a file is open
  // no other operation works on this session. Only opening reconnects.
  std::uint32_t OpenFileStream(const std::string& FilePath, std::uint32_t AccessMode,
                               std::uint32_t TransferMode);
  // Sends BufferSize bytes from the start of Buffer, read in place.
  // Buffer must hold at least BufferSize bytes: otherwise false and nothing
  // is sent. An empty Buffer raises orvex::Error 9 (subscript out of range).
  bool WriteFileStream(std::uint32_t hFile, const std::vector<std::uint8_t>& Buffer,
                       std::uint32_t BufferSize, std::uint32_t& WrittenBytes);
  // Reads up to BufferSize bytes into the start of Buffer, in place (Buffer
  // is never resized); BytesRead is 0 at the end of the file. The same
  // buffer rules as WriteFileStream.
  bool ReadFileStream(std::uint32_t hFile, std::vector<std::uint8_t>& Buffer,
                      std::uint32_t BufferSize, std::uint32_t& BytesRead);
  // Closes the file; false when the server did not complete an upload (the
  // handle is closed either way).
  bool CloseFileStream(std::uint32_t hFile);

  // Times. A LIST listing shows the server's wall clock; MLSD and MDTM give
  // UTC. Items carry true local times wherever the server allows it:
  // - MLSD: the times as given (UTC, converted to local time).
  // - LIST on a server that offers MDTM: the listing's offset from UTC is
  //   learnt once per connection by comparing one listed file with its MDTM
  //   time (up to three files are tried), then applied to every listed item.
  //   Files whose listing line gives a date without a time of day (older
  //   files) get their time from MDTM.
  // - LIST without MDTM: the times as the server shows them.
  // ListingTimeOffset, when set (minutes east of UTC), is for servers that
  // misreport their times: it replaces the detection, and every time the
  // server gives or takes (LIST, MLSD, MDTM, the time set after an upload)
  // is taken to be on a clock that far from UTC. It holds until changed;
  // Connect leaves it alone.
  std::optional<int> ListingTimeOffset() const { return offset_override_; }
  void ListingTimeOffset(std::optional<int> minutes) { offset_override_ = minutes; }
  // The offset in use for LIST times (the override, else the detected one);
  // nullopt while none is known.
  std::optional<int> ListingOffsetInUse() const {
    return offset_override_ ? offset_override_ : detected_offset_;
  }
  // The FTP_TRAIT_* bits of the connected server (0 when not connected).
  std::uint32_t ServerTraits();
  // Sets the modification time of the file at host path FilePath to Modified
  // (a local date and time) on a server that offers it (FTP_TRAIT_SETS_FILE_TIMES);
  // false with LastError set otherwise, or when the server refuses.
  bool SetFileTime(const std::string& FilePath, Date Modified);

  // The most recent failure, "<text> (<number>)".
  const std::string& LastError() const { return LastError_; }
  // "ftp://" + server, as cut from the URL at the first "/" after the
  // prefix; the whole URL when it has none.
  std::string BaseLocation() const { return BaseLocation_; }
  // The URL of the last Connect.
  std::string Location() const { return Location_; }

  // The OnError event, declared for the owner; the session never raises it.
  void OnError(ErrorHandler handler) { on_error_ = std::move(handler); }

  // The control dialogue of the connections made from the next Connect on:
  // each command sent (the password masked) and each reply line received,
  // as they pass. Empty (the default): no trace.
  using TraceHandler = std::function<void(bool sent, const std::string& line)>;
  void OnTrace(TraceHandler handler) { on_trace_ = std::move(handler); }
  const TraceHandler& trace_handler() const { return on_trace_; }

  // Pure pieces, public so they can be checked on their own.
  // Host path to server path: the characters after BaseLocation with "\"
  // turned into "/"; "/" when Path is not longer than BaseLocation.
  static std::string ServerPath(const std::string& BaseLocation, const std::string& Path);
  // The same below this session's BaseLocation.
  std::string ServerPath(const std::string& Path) const { return ServerPath(BaseLocation_, Path); }
  // The text recorded for a failure number: for 0 and 12003 the last server
  // reply (and its code), otherwise the message for the number, or
  // "Error description not available."; then " (number)". A TLS failure
  // number's message is followed by the TLS report (the certificate's
  // fingerprint and subject, or why TLS failed).
  static std::string GetErrorText(std::uint32_t ErrorNumber);

 private:
  // Marks one call from the owner: the outermost call in progress starts with
  // a fresh reconnect allowance, nested ones share it.
  class OperationScope {
   public:
    explicit OperationScope(cxFTP& session) : session_(session) {
      if (session_.operation_depth_++ == 0) session_.reconnect_attempted_ = false;
    }
    ~OperationScope() { --session_.operation_depth_; }
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

   private:
    cxFTP& session_;
  };

  // A listed item and the time its listing line gave, kept until the
  // listing's time zone is known (its name is the item's).
  struct ListedTime {
    com::ComPtr<HostFile> file;
    com::ComPtr<HostFolder> folder;
    win32::FILETIME time;
  };
  // Seconds by which a server that misreports its times is ahead of what it
  // claims (ListingTimeOffset); 0 without an override.
  // Modified (a local date and time) as the server's UTC fields.
  win32::SYSTEMTIME ServerFileTime(Date Modified) const;
  std::time_t ClockShift() const { return offset_override_ ? std::time_t{*offset_override_} * 60 : 0; }
  // Turns the listed times into true local times (see ListingTimeOffset).
  void ApplyListingTimes(std::deque<ListedTime>& listed);
  // The listing's offset at listed time `shown` as the samples tell it: the
  // offset of samples on both sides that agree and lie close enough together
  // that no change of the zone's offset can fall between them; nullopt
  // otherwise.
  std::optional<int> SampledOffsetAt(std::time_t shown) const;
  // The offset of the sample nearest to `shown`; nullopt without samples.
  std::optional<int> NearestSampledOffset(std::time_t shown) const;

  bool HandleError(std::uint32_t ErrorNumber);
  // Connects again with the last Connect's settings; false, with LastError
  // in the lost-connection form, when that fails.
  bool Reconnect();
  // Before an operation: a session whose connection was lost and not
  // restored tries once (per owner call) to connect again. False when it is
  // still without a connection (LastError says so).
  bool RestoreLostConnection();
  // Closes both handles, as Disconnect does, without ending the lost state.
  void CloseHandles();
  static std::string StripNull(const std::string& Text);
  // The text with CR LF and LF made blanks and other control characters
  // made "?", for texts a person will read.
  static std::string Printable(const std::string& Text);
  // False, with LastError saying so, for a path with a "." or ".."
  // component: such an item is a folder itself or its parent.
  bool RefuseNavigationItem(const std::string& Path);
  static Date FileTimeToDate(const win32::FILETIME& FileTime);
  static Date SystemTimeToDate(const win32::SYSTEMTIME& SystemTime);
  com::ComPtr<HostFolder> CreatePath(const std::string& Path, bool CreateParents);
  bool DeleteTree(const com::ComPtr<HostFolder>& Folder);
  // What RenameFile and RenameFolder do, for an Item of either kind.
  template <class Item>
  bool RenameItem(const com::ComPtr<Item>& Renamed, const std::string& NewName, const std::string& ItemPath);
  // After a rename failed with ErrorNumber: reconnects where the connection
  // was lost and returns `retry()`. A retry that fails may only mean that
  // the first attempt was carried out before the loss (its source is gone),
  // so LastError then says the loss first, and the retry's reason after it.
  template <class Retry>
  bool RetryRenameAfter(std::uint32_t ErrorNumber, const Retry& retry);
  // Cache, raising orvex::Error 91 when it is not set.
  FolderCache& CacheObject() const;
  // False, with LastError saying so, when a buffer of `buffer_length` bytes
  // cannot hold `BufferSize`.
  bool CheckBuffer(std::size_t buffer_length, std::uint32_t BufferSize);

  std::uint32_t hConnection_ = 0;
  std::uint32_t hOpen_ = 0;
  com::ComPtr<FolderCache> Cache_;
  bool NoCache_ = false;
  bool UsePassiveSemantics_ = false;
  bool SkipServUNavigationFolders_ = false;

  std::string Location_;
  std::string BaseLocation_;
  std::string Server_;
  std::string UserName_;
  std::string Password_;
  std::string Port_;
  std::string Proxy_;
  wininet::INTERNET_SECURITY_OPTIONS Security_;
  wininet::INTERNET_SECURITY_REPORT SecurityReport_;
  bool WasConnected_ = false;
  // NoCache as the last Connect was given it (a reconnect keeps it).
  bool connect_no_cache_ = false;
  // The connection was lost and a reconnect failed.
  bool connection_lost_ = false;
  std::string CurrentPath_;
  std::string LastError_;
  // LeftOutOfListing, by host path.
  std::map<std::string, std::vector<LeftOut>> left_out_;
  script::FileSystemObject path_object_;
  ErrorHandler on_error_;
  TraceHandler on_trace_;

  // Depth of owner calls in progress, and whether the outermost one has
  // already tried to reconnect.
  int operation_depth_ = 0;
  bool reconnect_attempted_ = false;
  // Records, after a failed rename's `error`, whether its new name was refused.
  void NoteRenameRefusal(std::uint32_t error);
  // Set by the last rename that failed (RenameTargetRefused).
  bool rename_target_refused_ = false;
  // The listing's offset from UTC: set by the owner, or learnt on this
  // connection (probed: the detection ran, whatever it found).
  std::optional<int> offset_override_;
  std::optional<int> detected_offset_;
  bool offset_probed_ = false;
  // What this connection learnt of the listing's clock: the offset (minutes)
  // at each listed time (as shown, read as UTC) that MDTM dated. A zone with
  // daylight saving lists with two offsets, so one offset is never taken for
  // the whole year (see ApplyListingTimes).
  std::map<std::time_t, int> zone_samples_;
  // Host paths of folders being emptied by a tree deletion right now; at
  // most kMaximumTreeDepth of them.
  static constexpr std::size_t kMaximumTreeDepth = 256;
  std::vector<std::string> trees_in_progress_;
};

}  // namespace orvex
