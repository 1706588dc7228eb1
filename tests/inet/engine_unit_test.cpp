// The engine's pure pieces: the name lookup's thread, reply texts, host and
// proxy texts, line-end conversion, listing entries as the API reports them,
// and the API's handle and buffer contract.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <ctime>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/module.h"
#include "platform/inet/wininet.h"
#include "platform/inet/host_port.h"
#include "platform/inet/line_endings.h"
#include "platform/inet/name_lookup.h"
#include "platform/inet/proxy.h"
#include "platform/inet/remote_entry.h"
#include "platform/inet/reply.h"

namespace orvex::inet {
namespace {

// Set by the lookup thread's last act, a thread-local object's destructor,
// which runs after everything the library's code does on that thread.
struct ThreadExit {
  std::promise<void> started;
  std::shared_future<void> allowed;
  std::atomic<bool> finished{false};
};

struct ThreadExitWatch {
  std::shared_ptr<ThreadExit> exit;
  ~ThreadExitWatch() {
    if (!exit) return;
    exit->started.set_value();
    exit->allowed.wait_for(std::chrono::seconds(10));
    exit->finished = true;
  }
};
thread_local ThreadExitWatch thread_exit_watch;

TEST(NameLookup, AnswersWithinTheDeadlineEvenWhenTheResolverHangs) {
  using namespace std::chrono_literals;
  // A resolver stuck on an unreachable name server, until the test lets it go.
  auto release = std::make_shared<std::promise<void>>();
  std::shared_future<void> released = release->get_future().share();
  auto exit = std::make_shared<ThreadExit>();
  std::promise<void> allow_exit;
  exit->allowed = allow_exit.get_future().share();
  std::future<void> exit_started = exit->started.get_future();
  const Lookup hanging = [released, exit](const std::string& host, const std::string& service,
                                          addrinfo** found) {
    thread_exit_watch.exit = exit;
    released.wait_for(10s);
    return SystemLookup(host, service, found);
  };
  AddressList addresses(nullptr, freeaddrinfo);
  const auto start = std::chrono::steady_clock::now();
  const Status status = LookUpHost("localhost", 21, start + 200ms, addresses, hanging);
  EXPECT_EQ(status.error(), win32::ERROR_INTERNET_TIMEOUT);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);  // the stuck resolver holds on for 10 s
  EXPECT_FALSE(addresses);

  // The abandoned lookup still runs library code: the library must not be
  // unloaded under it, not even while the thread is on its way out, and may
  // be once it has exited.
  EXPECT_FALSE(com::ModuleCanUnload());
  release->set_value();
  ASSERT_EQ(exit_started.wait_for(10s), std::future_status::ready);
  EXPECT_FALSE(com::ModuleCanUnload()) << "the lookup thread has not exited yet";
  allow_exit.set_value();
  const auto give_up = std::chrono::steady_clock::now() + 10s;
  while (!com::ModuleCanUnload() && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_TRUE(com::ModuleCanUnload());
  EXPECT_TRUE(exit->finished);

  // A lookup answered in time leaves no thread behind.
  EXPECT_TRUE(LookUpHost("127.0.0.1", 21, std::chrono::steady_clock::now() + 5s, addresses).ok());
  EXPECT_TRUE(com::ModuleCanUnload());
  ASSERT_TRUE(addresses);
  EXPECT_EQ(addresses->ai_family, AF_INET);
  EXPECT_EQ(LookUpHost("name.invalid", 21, std::chrono::steady_clock::now() + 5s, addresses).error(),
            win32::ERROR_INTERNET_NAME_NOT_RESOLVED);
  EXPECT_TRUE(com::ModuleCanUnload());
}

TEST(ReplyTexts, PassivePortsAndQuotedPaths) {
  EXPECT_EQ(ParseExtendedPassivePort("229 Entering Extended Passive Mode (|||6446|)"),
            6446);
  EXPECT_EQ(ParseExtendedPassivePort("229 ok (!!!21!)"), 21);
  EXPECT_EQ(ParseExtendedPassivePort("229 ok (|||0|)"), std::nullopt);
  EXPECT_EQ(ParseExtendedPassivePort("229 ok (|||70000|)"), std::nullopt);
  EXPECT_EQ(ParseExtendedPassivePort("229 ok (|||6446)"), std::nullopt);

  EXPECT_EQ(ParsePassivePort("227 Entering Passive Mode (10,1,2,3,19,137)"), 5001);
  EXPECT_EQ(ParsePassivePort("227 Entering Passive Mode 10,1,2,3,19,137"), 5001);
  EXPECT_EQ(ParsePassivePort("227 =127,0,0,1,4,1"), 1025);
  EXPECT_EQ(ParsePassivePort("227 Entering Passive Mode (10,1,2,3,300,1)"),
            std::nullopt);
  EXPECT_EQ(ParsePassivePort("227 Entering Passive Mode (10,1,2,3,19)"),
            std::nullopt);

  EXPECT_EQ(ParseQuotedPath("257 \"/pub/docs\" is the current directory"),
            "/pub/docs");
  EXPECT_EQ(ParseQuotedPath("257 \"/a \"\"quoted\"\" name\" created"),
            "/a \"quoted\" name");
  EXPECT_EQ(ParseQuotedPath("257 \"/unterminated"), std::nullopt);
  EXPECT_EQ(ParseQuotedPath("257 no quotes"), std::nullopt);
}

TEST(ReplyTexts, ModificationTimes) {
  struct Case {
    const char* reply;
    bool parsed;
    CivilTime time;
  } cases[] = {
      {"213 20261210031129", true, {2026, 12, 10, 3, 11, 29}},
      {"213 20240229235960.123", true, {2024, 2, 29, 23, 59, 59}},  // leap second kept in the minute
      {"213 20230229000000", false, {}},                             // no such day
      {"213 20261310000000", false, {}},
      {"213 2026121003112", false, {}},                              // one digit short
      {"213 202612100311290", false, {}},                            // one too many
      {"550 20261210031129", false, {}},
      {"213 File modification time set.", false, {}},
  };
  for (const auto& test : cases) {
    const auto parsed = ParseModificationTime(test.reply);
    ASSERT_EQ(parsed.has_value(), test.parsed) << test.reply;
    if (!parsed) continue;
    EXPECT_EQ(parsed->year * 10000 + parsed->month * 100 + parsed->day,
              test.time.year * 10000 + test.time.month * 100 + test.time.day) << test.reply;
    EXPECT_EQ(parsed->hour * 3600 + parsed->minute * 60 + parsed->second,
              test.time.hour * 3600 + test.time.minute * 60 + test.time.second) << test.reply;
  }
}

TEST(HostAndProxyTexts, SplitAsTheyAreWritten) {
  struct Case {
    const char* text;
    std::optional<HostPort> expected;
  };
  const Case cases[] = {
      {"ftp.example.org", HostPort{"ftp.example.org", 0}},
      {"ftp.example.org:2121", HostPort{"ftp.example.org", 2121}},
      {"[::1]:21", HostPort{"::1", 21}},
      {"[::1]", HostPort{"::1", 0}},
      {"fe80::1", HostPort{"fe80::1", 0}},
      {"host:0", std::nullopt},
      {"host:65536", std::nullopt},
      {"host:21x", std::nullopt},
      {"[::1", std::nullopt},
  };
  for (const Case& test : cases) {
    const auto split = SplitHostPort(test.text);
    ASSERT_EQ(split.has_value(), test.expected.has_value()) << test.text;
    if (split) {
      EXPECT_EQ(split->host, test.expected->host) << test.text;
      EXPECT_EQ(split->port, test.expected->port) << test.text;
    }
  }

  using Kind = ProxySettings::Kind;
  struct ProxyCase {
    const char* text;
    bool valid;
    Kind kind;
    const char* host;
    std::uint16_t port;
  };
  const ProxyCase proxies[] = {
      {"proxy.lan:3128", true, Kind::HttpConnect, "proxy.lan", 3128},
      {"http://proxy.lan:3128/", true, Kind::HttpConnect, "proxy.lan", 3128},
      {"socks=127.0.0.1:1080", true, Kind::Socks5, "127.0.0.1", 1080},
      {"socks5://[::1]:1080", true, Kind::Socks5, "::1", 1080},
      {"  socks=a:1 b:2", true, Kind::Socks5, "a", 1},
      // Without a port: the kind's usual one.
      {"proxy.lan", true, Kind::HttpConnect, "proxy.lan", 80},
      {"socks=proxy.lan", true, Kind::Socks5, "proxy.lan", 1080},
      {"proxy.lan:0", false, Kind::HttpConnect, "", 0},
      {"proxy.lan:65536", false, Kind::HttpConnect, "", 0},
      {"", false, Kind::HttpConnect, "", 0},
  };
  for (const ProxyCase& test : proxies) {
    const auto proxy = ParseProxy(test.text);
    ASSERT_EQ(proxy.has_value(), test.valid) << test.text;
    if (proxy) {
      EXPECT_EQ(proxy->kind, test.kind) << test.text;
      EXPECT_EQ(proxy->host, test.host) << test.text;
      EXPECT_EQ(proxy->port, test.port) << test.text;
    }
  }
}

// Feeds `wire` to the decoder in pieces of `piece` bytes the way a download
// does, with the held CR reserved at the start of the next piece.
std::string DecodeInPieces(const std::string& wire, std::size_t piece) {
  LineEndDecoder decoder;
  std::string local;
  for (std::size_t start = 0; start < wire.size(); start += piece) {
    const std::string part = wire.substr(start, piece);
    std::vector<char> buffer(part.size() + 1);
    const std::size_t reserved = decoder.pending_cr() ? 1 : 0;
    std::copy(part.begin(), part.end(), buffer.begin() + static_cast<std::ptrdiff_t>(reserved));
    local.append(buffer.data(), decoder.Decode(buffer.data(), reserved, part.size()));
  }
  if (decoder.pending_cr()) local.push_back('\r');
  return local;
}

TEST(LineEnds, ConvertAcrossPieceBoundaries) {
  struct Case {
    std::string wire;
    std::string local;
  };
  const Case cases[] = {
      {"a\r\nb\r\n", "a\nb\n"},
      {"\r\n\r\n", "\n\n"},
      {"bare\rcr\r", "bare\rcr\r"},
      {"\r\r\n", "\r\n"},
      {"no line end", "no line end"},
      {"", ""},
  };
  for (const Case& test : cases) {
    for (std::size_t piece = 1; piece <= test.wire.size() + 1; ++piece) {
      EXPECT_EQ(DecodeInPieces(test.wire, piece), test.local)
          << "piece " << piece << " of " << testing::PrintToString(test.wire);
    }
  }

  LineEndEncoder encoder;
  std::string wire;
  for (const std::string piece : {"a\nb", "\r", "\nc\n\n"}) {
    std::vector<char> output(2 * piece.size());
    wire.append(output.data(), encoder.Encode(piece.data(), piece.size(), output.data()));
  }
  EXPECT_EQ(wire, "a\r\nb\r\nc\r\n\r\n");  // an existing CR LF is not doubled
}

class RemoteEntries : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* zone = std::getenv("TZ");
    saved_zone_ = zone ? std::optional<std::string>(zone) : std::nullopt;
    setenv("TZ", "UTC-2", 1);  // two hours east of UTC, no daylight saving
    tzset();
  }
  void TearDown() override {
    if (saved_zone_) {
      setenv("TZ", saved_zone_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

  static win32::SYSTEMTIME Calendar(const RemoteEntry& entry) {
    win32::SYSTEMTIME time;
    EXPECT_TRUE(win32::FileTimeToSystemTime(&entry.last_write_time, &time));
    return time;
  }

 private:
  std::optional<std::string> saved_zone_;
};

TEST_F(RemoteEntries, UtcTimesBecomeLocalListTimesStayAsShown) {
  ListingEntry entry;
  entry.name = "report.pdf";
  entry.size = 3ull << 30;
  entry.has_time = true;
  entry.time = CivilTime{2025, 12, 31, 23, 30, 15};
  entry.time_is_utc = true;
  auto converted = ToRemoteEntry(entry);
  ASSERT_TRUE(converted);
  EXPECT_EQ(converted->size, 3ull << 30);
  EXPECT_EQ(converted->attributes, kAttributeNormal);
  const win32::SYSTEMTIME local = Calendar(*converted);
  EXPECT_EQ(local.wYear, 2026);  // crosses the year in local time
  EXPECT_EQ(local.wMonth, 1);
  EXPECT_EQ(local.wDay, 1);
  EXPECT_EQ(local.wHour, 1);
  EXPECT_EQ(local.wSecond, 15);

  entry.time_is_utc = false;
  converted = ToRemoteEntry(entry);
  ASSERT_TRUE(converted);
  EXPECT_EQ(Calendar(*converted).wHour, 23);
}

TEST_F(RemoteEntries, KindsAndNamesTheCallerCannotUseAreFilteredAndAccountedFor) {
  struct Case {
    EntryType type;
    std::string name;
    bool reported;
    std::uint32_t attributes;
    std::optional<Omission> omitted;  // why it is left out, when it is
  };
  const Case cases[] = {
      {EntryType::Directory, "docs", true, kAttributeDirectory, {}},
      {EntryType::Link, "latest -> v2", true, kAttributeReparsePoint, {}},
      {EntryType::Other, "null", false, 0, Omission::NotAFile},
      {EntryType::File, std::string(kMaximumNameLength, 'n'), true, kAttributeNormal, {}},
      {EntryType::File, std::string(kMaximumNameLength + 1, 'n'), false, 0, Omission::UnusableName},
      {EntryType::File, "a/b", false, 0, Omission::UnusableName},
      {EntryType::Directory, "a\\b", false, 0, Omission::UnusableName},
      {EntryType::Other, "a\\b", false, 0, Omission::UnusableName},
      {EntryType::File, std::string("a\0b", 3), false, 0, Omission::UnusableName},
      {EntryType::Directory, "..", true, kAttributeDirectory, {}},
  };
  for (const Case& test : cases) {
    ListingEntry entry;
    entry.type = test.type;
    entry.name = test.name;
    entry.size = 4096;
    const auto converted = ToRemoteEntry(entry);
    ASSERT_EQ(converted.has_value(), test.reported) << test.name.size();
    if (converted) {
      EXPECT_EQ(converted->attributes, test.attributes);
      EXPECT_EQ(converted->name, test.name);
      // Folder sizes differ per server and mean nothing: always 0.
      EXPECT_EQ(converted->size, test.type == EntryType::Directory ? 0u : 4096u);
    }
    // Every entry is either handed on or accounted for, never both.
    const auto omitted = OmissionOf(entry);
    ASSERT_EQ(omitted.has_value(), test.omitted.has_value()) << test.name.size();
    if (omitted) {
      EXPECT_EQ(omitted->reason, *test.omitted);
      EXPECT_EQ(omitted->name, test.name);
      EXPECT_EQ(omitted->folder, test.type == EntryType::Directory);
    }
  }
}

}  // namespace
}  // namespace orvex::inet

namespace orvex::wininet {
namespace {

TEST(ApiContract, HandlesNamesAndResponseBuffer) {
  // Unknown and closed handles fail with a number the session never
  // reconnects on.
  const HINTERNET session =
      InternetOpenA("test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  ASSERT_NE(session, 0u);
  ASSERT_TRUE(InternetCloseHandle(session));
  EXPECT_FALSE(InternetCloseHandle(session));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FtpSetCurrentDirectoryA(session, "/"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(FtpOpenFileA(0, "a", GENERIC_READ, 0, 0), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  EXPECT_EQ(InternetOpenA("test", INTERNET_OPEN_TYPE_PROXY, "proxy:0", nullptr, 0),
            0u);

  // An unresolvable name.
  const HINTERNET other =
      InternetOpenA("test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  EXPECT_EQ(InternetConnectA(other, "no-such-host.invalid", 0, "u", "p",
                             INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0),
            0u);
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_NAME_NOT_RESOLVED);
  InternetCloseHandle(other);

  // Too small a buffer reports the size needed.
  DWORD code = 99;
  DWORD length = 0;
  EXPECT_FALSE(InternetGetLastResponseInfoA(&code, nullptr, &length));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_GE(length, 1u);
}

}  // namespace
}  // namespace orvex::wininet
