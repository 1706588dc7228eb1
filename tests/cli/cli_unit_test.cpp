// The command-line host's own rules: URLs, netrc entries, when a file is
// copied again, JSON texts, option parsing, include/exclude rules and rates.

#include <gtest/gtest.h>

#include "host/cli/arguments.h"
#include "host/cli/json.h"
#include "host/cli/netrc.h"
#include "host/cli/rate_limit.h"
#include "host/cli/remote_url.h"
#include "host/cli/sync_filter.h"
#include "host/cli/sync_rules.h"

namespace orvex::cli {
namespace {

TEST(RemoteUrl, SplitsServerPortUserAndNames) {
  struct Case {
    std::string text, server, host, port, user, location;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"ftp://example.org", "example.org", "example.org", "", "", "ftp://example.org", {}},
      {"FTP://example.org/", "example.org", "example.org", "", "", "ftp://example.org", {}},
      {"ftp://host:2121/a b//c/", "host:2121", "host", "2121", "", "ftp://host:2121/a b/c", {"a b", "c"}},
      {"ftp://me@[::1]:2121/ü", "[::1]:2121", "::1", "2121", "me", "ftp://[::1]:2121/ü", {"ü"}},
      {"ftp://[fe80::1]/x", "[fe80::1]", "fe80::1", "", "", "ftp://[fe80::1]/x", {"x"}},
      {"ftp://a@b@host/%20", "host", "host", "", "a@b", "ftp://host/%20", {"%20"}},
  };
  for (const auto& test : cases) {
    std::string error;
    const auto url = ParseRemoteUrl(test.text, error);
    ASSERT_TRUE(url) << test.text << ": " << error;
    EXPECT_EQ(url->server, test.server) << test.text;
    EXPECT_EQ(url->host, test.host) << test.text;
    EXPECT_EQ(url->port, test.port) << test.text;
    EXPECT_EQ(url->user, test.user) << test.text;
    EXPECT_EQ(url->names, test.names) << test.text;
    EXPECT_EQ(url->Location(), test.location) << test.text;
  }
}

TEST(RemoteUrl, RefusesWhatCannotBeUsedSafely) {
  for (const char* text : {"http://host/", "ftp://", "ftp:///path", "ftp://host:0/", "ftp://host:65536/",
                           "ftp://host:/", "ftp://host:21x/", "ftp://::1/", "ftp://[::1/", "ftp://u:p@host/",
                           "ftp://@host/", "ftp://host/a/../b", "ftp://host/./b", "ftp://host/a\\b",
                           "ftp://host/a\r\nDELE x"}) {
    std::string error;
    EXPECT_FALSE(ParseRemoteUrl(text, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

TEST(RemoteUrl, ParentKeepsTheServerRoot) {
  std::string error;
  const auto url = ParseRemoteUrl("ftp://host/a/b.txt", error);
  EXPECT_EQ(url->Parent().Location(), "ftp://host/a");
  EXPECT_EQ(url->Name(), "b.txt");
  EXPECT_EQ(url->Parent().Parent().Parent().Location(), "ftp://host");
}

TEST(Netrc, FindsTheMachineElseTheDefault) {
  const std::string text =
      "# comment lines are not special, but these words are no keywords either\n"
      "machine first.example login one password \"two words\"\n"
      "macdef init\nmachine evil.example login macro password body\n\n"
      "machine Second.Example\n\tlogin two\n\tpassword p2 account ignored\n"
      "default login anonymous password me@example.org\n";
  struct Case {
    std::string host, login, password;
  } cases[] = {
      {"first.example", "one", "two words"},
      {"second.example", "two", "p2"},
      {"evil.example", "anonymous", "me@example.org"},
      {"unknown.example", "anonymous", "me@example.org"},
  };
  for (const auto& test : cases) {
    const auto login = FindNetrcLogin(text, test.host);
    ASSERT_TRUE(login) << test.host;
    EXPECT_EQ(login->login, test.login) << test.host;
    EXPECT_EQ(login->password, test.password) << test.host;
  }
  EXPECT_FALSE(FindNetrcLogin("machine a login b password c", "other"));
  EXPECT_FALSE(FindNetrcLogin("machine", "machine"));
}

TEST(SyncRules, MirrorsWhenSizeOrTimeDiffersBeyondTheTolerance) {
  constexpr std::time_t kBase = 1'700'000'007;  // not on a whole minute
  constexpr std::time_t kMinute = 1'700'000'040;  // on a whole minute
  struct Case {
    FileState source, target;
    bool size_only;
    std::time_t remote;
    bool remote_in_minutes;
    bool copies;
  } cases[] = {
      {{10, kBase}, {11, kBase}, false, kBase, false, true},           // size differs
      {{10, kBase}, {11, kBase + 99}, true, kBase, false, true},       // size differs, older
      {{10, kBase + 2}, {10, kBase}, false, kBase, false, false},      // within the tolerance
      {{10, kBase + 3}, {10, kBase}, false, kBase, false, true},       // beyond it
      {{10, kBase + 3}, {10, kBase}, true, kBase, false, false},       // sizes alone
      {{10, kBase - 500}, {10, kBase}, false, kBase, false, true},     // target edited later
      {{10, kBase - 2}, {10, kBase}, false, kBase, false, false},      // older, within
      {{10, kMinute + 59}, {10, kMinute}, false, kMinute, true, false},  // minutes-only listing
      {{10, kMinute + 61}, {10, kMinute}, false, kMinute, true, true},
      {{10, kMinute}, {10, kMinute + 59}, false, kMinute, true, false},  // --down, same minute
      // A listing with seconds that happens to fall on a whole minute keeps
      // the tight tolerance.
      {{10, kMinute + 30}, {10, kMinute}, false, kMinute, false, true},
      // No remote time at all: sizes decide, nothing is copied every run.
      {{10, kBase}, {10, -2'209'161'600}, false, -2'209'161'600, true, false},
      {{10, kBase}, {10, 0}, false, 0, false, false},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(SourceReplacesTarget(test.source, test.target, test.size_only, test.remote,
                                   test.remote_in_minutes),
              test.copies)
        << test.source.size << "@" << test.source.modified << " over " << test.target.size << "@"
        << test.target.modified;
  }
  // An upload to a server that keeps its own date on the copy: the copy is
  // newer than its source, which says nothing; a newer source still goes.
  EXPECT_FALSE(SourceReplacesTarget({10, kBase - 500}, {10, kBase}, false, kBase, false, false));
  EXPECT_TRUE(SourceReplacesTarget({10, kBase + 500}, {10, kBase}, false, kBase, false, false));
  EXPECT_TRUE(SourceReplacesTarget({10, kBase - 500}, {11, kBase}, false, kBase, false, false));
}

TEST(Json, EscapesWhatWouldBreakTheDocument) {
  EXPECT_EQ(JsonString("plain ü"), "\"plain ü\"");
  EXPECT_EQ(JsonString("q\"b\\n\n\t\x01"), "\"q\\\"b\\\\n\\n\\t\\u0001\"");
  EXPECT_EQ(JsonString("bad \xFF\xC3"), "\"bad \xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(JsonString("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");  // a lone surrogate
}

TEST(Arguments, OptionsAnywhereValuesEitherWay) {
  std::string error;
  const std::vector<OptionSpec> allowed = {{"--port", true}, {"-l", false}};
  auto parsed = ParseArguments({"-l", "a", "--port=21", "b", "--", "-l"}, allowed, error);
  ASSERT_TRUE(parsed) << error;
  EXPECT_EQ(parsed->operands, (std::vector<std::string>{"a", "b", "-l"}));
  EXPECT_EQ(parsed->Value("--port"), "21");
  EXPECT_TRUE(parsed->Has("-l"));
  EXPECT_FALSE(ParseArguments({"--port"}, allowed, error));
  EXPECT_FALSE(ParseArguments({"-l=1"}, allowed, error));
  EXPECT_FALSE(ParseArguments({"--password", "x"}, allowed, error));
  EXPECT_NE(error.find("--password-stdin"), std::string::npos);
}

TEST(SyncFilter, GlobsMatchAsRsyncAndRcloneUsersExpect) {
  struct Case {
    const char* glob;
    const char* text;
    bool matches;
  };
  const Case cases[] = {
      {"*.tmp", "a.tmp", true},          {"*.tmp", "dir/a.tmp", false},   // one name only
      {"*", "", true},                   {"a?c", "abc", true},            {"a?c", "a/c", false},
      {"**", "a/b/c", true},             {"docs/**", "docs/x/y.md", true}, {"docs/**/draft*", "docs/draft1", true},
      {"docs/**/draft*", "docs/a/b/draft2", true},                        {"docs/*/x", "docs/a/b/x", false},
      {"[abc].txt", "b.txt", true},      {"[!abc].txt", "b.txt", false},  {"[a-c]1", "c1", true},
      {"[!a-c]1", "d1", true},           {"\\*.txt", "*.txt", true},      {"\\*.txt", "a.txt", false},
      {"Ü*", "Übung", true},             {"*.TMP", "a.tmp", false},       // letter case counts
  };
  for (const auto& test : cases) {
    EXPECT_EQ(GlobMatches(test.glob, test.text), test.matches) << test.glob << " on " << test.text;
  }
}

TEST(SyncFilter, FirstMatchingRuleDecidesInTheOrderGiven) {
  SyncFilter filter;
  ASSERT_FALSE(filter.Add(true, "keep.log"));
  ASSERT_FALSE(filter.Add(false, "*.log"));
  ASSERT_FALSE(filter.Add(false, "/build/"));   // the top folder only, folders only
  ASSERT_FALSE(filter.Add(false, "cache/"));    // a folder of that name anywhere
  ASSERT_FALSE(filter.Add(false, "src/**/gen*"));
  struct Case {
    const char* path;
    bool folder;
    bool excluded;
  };
  const Case cases[] = {
      {"keep.log", false, false},     {"deep/keep.log", false, false}, {"a.log", false, true},
      {"deep/er/b.log", false, true}, {"build", true, true},           {"build", false, false},
      {"sub/build", true, false},     {"cache", true, true},           {"x/y/cache", true, true},
      {"cache", false, false},        {"src/gen.c", false, true},      {"src/a/b/generated.c", false, true},
      {"src/main.c", false, false},   {"other/gen.c", false, false},   {"plain.txt", false, false},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(filter.Excluded(test.path, test.folder), test.excluded) << test.path;
  }
  SyncFilter refused;
  EXPECT_TRUE(refused.Add(false, "[abc"));
  EXPECT_TRUE(refused.Add(false, "/"));
  EXPECT_TRUE(refused.empty());
}

TEST(RateLimit, ReadsRatesWithBinaryUnits) {
  const std::pair<const char*, std::optional<std::uint64_t>> cases[] = {
      {"500k", 512000}, {"2M", 2097152}, {"1.5m", 1572864}, {"100000", 100000}, {"1G", 1073741824ULL},
      {"64KB", 65536},  {"10k/s", 10240}, {"0", std::nullopt}, {"", std::nullopt}, {"k", std::nullopt},
      {"5x", std::nullopt}, {"1.2.3", std::nullopt}, {"-5k", std::nullopt},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParseRate(text), expected) << text;
}

}  // namespace
}  // namespace orvex::cli
