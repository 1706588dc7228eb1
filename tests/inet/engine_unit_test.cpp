// The engine's pure pieces: reply texts, host and proxy texts, line-end
// conversion, listing entries as the API reports them, and the error texts.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <ctime>
#include <string>
#include <vector>

#include "ftp/wininet.h"
#include "platform/inet/host_port.h"
#include "platform/inet/line_endings.h"
#include "platform/inet/name_lookup.h"
#include "platform/inet/proxy.h"
#include "platform/inet/remote_entry.h"
#include "platform/inet/reply.h"

namespace orvex::inet {
namespace {

TEST(NameLookup, AnswersWithinTheDeadlineEvenWhenTheResolverHangs) {
  using namespace std::chrono_literals;
  // A resolver stuck on an unreachable name server.
  const Lookup hanging = [](const std::string& host, const std::string& service, addrinfo** found) {
    std::this_thread::sleep_for(2s);
    return SystemLookup(host, service, found);
  };
  AddressList addresses(nullptr, freeaddrinfo);
  const auto start = std::chrono::steady_clock::now();
  const Status status = LookUpHost("localhost", 21, start + 200ms, addresses, hanging);
  EXPECT_EQ(status.error(), win32::ERROR_INTERNET_TIMEOUT);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_FALSE(addresses);

  EXPECT_TRUE(LookUpHost("127.0.0.1", 21, std::chrono::steady_clock::now() + 5s, addresses).ok());
  ASSERT_TRUE(addresses);
  EXPECT_EQ(addresses->ai_family, AF_INET);
  EXPECT_EQ(LookUpHost("name.invalid", 21, std::chrono::steady_clock::now() + 5s, addresses).error(),
            win32::ERROR_INTERNET_NAME_NOT_RESOLVED);
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
    std::copy(part.begin(), part.end(), buffer.begin() + reserved);
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

TEST_F(RemoteEntries, KindsAndNamesTheCallerCannotUseAreFiltered) {
  struct Case {
    EntryType type;
    std::string name;
    bool reported;
    std::uint32_t attributes;
  };
  const Case cases[] = {
      {EntryType::Directory, "docs", true, kAttributeDirectory},
      {EntryType::Link, "latest -> v2", true, kAttributeReparsePoint},
      {EntryType::Other, "null", false, 0},
      {EntryType::File, std::string(kMaximumNameLength, 'n'), true, kAttributeNormal},
      {EntryType::File, std::string(kMaximumNameLength + 1, 'n'), false, 0},
      {EntryType::File, "a/b", false, 0},
      {EntryType::File, "a\\b", false, 0},
      {EntryType::File, std::string("a\0b", 3), false, 0},
      {EntryType::Directory, "..", true, kAttributeDirectory},
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
  }
}

}  // namespace
}  // namespace orvex::inet

namespace orvex::wininet {
namespace {

TEST(ApiContract, MessagesHandlesAndResponseBuffer) {
  // Every number the engine raises has a text of its own.
  for (const DWORD number :
       {ERROR_INVALID_HANDLE, ERROR_INVALID_NAME, ERROR_INTERNET_TIMEOUT,
        ERROR_INTERNET_EXTENDED_ERROR, ERROR_INTERNET_NAME_NOT_RESOLVED,
        ERROR_INTERNET_INCORRECT_PASSWORD, ERROR_INTERNET_CANNOT_CONNECT,
        ERROR_INTERNET_CONNECTION_ABORTED, ERROR_INTERNET_CONNECTION_RESET,
        ERROR_FTP_TRANSFER_IN_PROGRESS, ERROR_FTP_DROPPED,
        ERROR_INTERNET_INVALID_SERVER_RESPONSE, ERROR_INTERNET_DISCONNECTED}) {
    char buffer[257];
    const DWORD count = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, nullptr, number,
                                       0, buffer, 256, nullptr);
    ASSERT_GT(count, 2u) << number;
    EXPECT_EQ(std::string(buffer + count - 2), "\r\n") << number;
  }
  char buffer[64];
  EXPECT_EQ(FormatMessageA(0, nullptr, 4242, 0, buffer, sizeof buffer, nullptr), 0u);

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

TEST(FileTimes, RoundTripAndRefuseNonsense) {
  const SYSTEMTIME original{2026, 2, 0, 28, 23, 59, 58, 0};
  FILETIME file_time;
  ASSERT_TRUE(SystemTimeToFileTime(&original, &file_time));
  SYSTEMTIME back;
  ASSERT_TRUE(FileTimeToSystemTime(&file_time, &back));
  EXPECT_EQ(back.wYear, 2026);
  EXPECT_EQ(back.wMonth, 2);
  EXPECT_EQ(back.wDay, 28);
  EXPECT_EQ(back.wDayOfWeek, 6);  // a Saturday
  EXPECT_EQ(back.wHour, 23);
  EXPECT_EQ(back.wMinute, 59);
  EXPECT_EQ(back.wSecond, 58);

  const FILETIME origin{};
  ASSERT_TRUE(FileTimeToSystemTime(&origin, &back));
  EXPECT_EQ(back.wYear, 1601);
  EXPECT_EQ(back.wMonth, 1);
  EXPECT_EQ(back.wDay, 1);

  const SYSTEMTIME february_30{2026, 2, 0, 30, 0, 0, 0, 0};
  EXPECT_FALSE(SystemTimeToFileTime(&february_30, &file_time));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace orvex::wininet
