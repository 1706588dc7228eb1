// The conventions a user of ftp, lftp and curl expects: help and version,
// errors that say what is wrong, the password prompt, progress on a
// terminal, the protocol trace, proxies from the environment, creating
// remote folders, and shell completion.

#include <array>
#include <chrono>

#include "platform/text/terminal_text.h"
#include "tests/cli/cli_fixture.h"
#include "tests/cli/terminal_process.h"
#include "tests/support/proxy_daemon.h"
#include "tests/support/scripted_server.h"

namespace orvex::testing {
namespace {

using std::chrono::seconds;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(CliTest, HelpVersionAndWrongCommandLines) {
  enum Stream { Out, Err };
  struct Case {
    std::vector<std::string> arguments;
    Stream stream;
    std::vector<std::string> shows;
    int status;
  };
  const Case cases[] = {
      {{"--help"}, Out, {"usage: orvex", "Commands:", "sync LOCALDIR URL", "--password-stdin", "Exit status"}, kSuccess},
      {{"-h"}, Out, {"usage: orvex", "Commands:"}, kSuccess},
      {{"help"}, Out, {"usage: orvex", "Commands:"}, kSuccess},
      {{"help", "sync"}, Out, {"usage: orvex sync LOCALDIR URL [OPTIONS]", "--dry-run", "Example:\n  orvex sync"}, kSuccess},
      {{"sync", "--help"}, Out, {"usage: orvex sync LOCALDIR URL", "--delete"}, kSuccess},
      {{"get", "-h", "ftp://example.org/x"}, Out, {"usage: orvex get URL [LOCAL] [OPTIONS]", "--user NAME"}, kSuccess},
      {{"mkdir", "--help"}, Out, {"-p "}, kSuccess},
      {{"--help"}, Out, {"trust URL", "--tls", "--cacert FILE", "--fingerprint SHA256:HEX", "--insecure", "ftpes://"}, kSuccess},
      {{"help", "trust"}, Out, {"usage: orvex trust URL [OPTIONS]", "--yes", "--cacert FILE", "ftps://"}, kSuccess},
      {{"--version"}, Out, {"orvex 2.0.", "OrvexFTP plug-in 2.0 beta "}, kSuccess},
      {{}, Err, {"usage: orvex", "orvex --help"}, kUsage},
      {{"frobnicate"}, Err, {"orvex: unknown command 'frobnicate'", "Try 'orvex --help'"}, kUsage},
      {{"help", "frobnicate"}, Err, {"unknown command 'frobnicate'"}, kUsage},
      {{"--frobnicate"}, Err, {"unknown option '--frobnicate'"}, kUsage},
      {{"get"}, Err, {"orvex: missing URL\n", "usage: orvex get URL [LOCAL]", "Try 'orvex help get'"}, kUsage},
      {{"put", "file.txt"}, Err, {"orvex: missing URL\n", "Try 'orvex help put'"}, kUsage},
      {{"mv", "ftp://example.org/a"}, Err, {"orvex: missing NEWNAME\n"}, kUsage},
      {{"sync", "folder"}, Err, {"orvex: missing URL\n"}, kUsage},
      {{"trust"}, Err, {"orvex: missing URL\n", "Try 'orvex help trust'"}, kUsage},
      {{"ls", "ftpes://example.org/", "--insecure", "--fingerprint", "SHA256:00"},
       Err, {"--insecure does not go with --fingerprint"}, kUsage},
      {{"ls", "ftpes://example.org/", "--cacert", "/nonexistent/ca.pem"}, Err, {"--cacert: cannot read"}, kUsage},
      {{"ls", "ftp://example.org/", "ftp://example.org/b"}, Err, {"unexpected operand 'ftp://example.org/b'"}, kUsage},
      {{"ls", "ftp://example.org/", "--frob"}, Err, {"unknown option --frob", "Try 'orvex help ls'"}, kUsage},
      {{"ls", "ftp://example.org/", "--proxy", "socks4://127.0.0.1:1080"},
       Err, {"unsupported proxy scheme 'socks4://'", "socks5://"}, kUsage},
      {{"ls", "ftp://example.org/", "--proxy", "http://me:pw@127.0.0.1:3128"}, Err, {"login for the proxy"}, kUsage},
      {{"ls", "ftp://example.org/", "--proxy", "127.0.0.1:1", "--no-proxy"}, Err, {"--no-proxy"}, kUsage},
      {{"completion", "fish"}, Err, {"no completion for 'fish'"}, kUsage},
  };
  for (const auto& test : cases) {
    const auto result = Orvex(test.arguments);
    const std::string label = ::testing::PrintToString(test.arguments);
    EXPECT_EQ(result.status, test.status) << label << "\n" << result.out << result.err;
    const std::string& text = test.stream == Out ? result.out : result.err;
    for (const auto& part : test.shows) EXPECT_TRUE(Contains(text, part)) << label << " lacks " << part << ":\n" << text;
    // Help goes to standard output alone; an error never repeats the whole usage.
    if (test.stream == Out) {
      EXPECT_EQ(result.err, "") << label;
    } else {
      EXPECT_FALSE(Contains(result.err, "Connection options")) << label;
    }
  }
}

TEST_F(CliTest, AnUnregisteredPluginSaysHowToRegisterIt) {
  ASSERT_EQ(Orvex({"unregister"}).status, kSuccess);
  const auto listed = Orvex({"ls", "ftp://127.0.0.1:1/"});
  EXPECT_EQ(listed.status, kFailure);
  EXPECT_TRUE(Contains(listed.err, "Run 'orvex register'")) << listed.err;
  const auto version = Orvex({"--version"});
  EXPECT_EQ(version.status, kSuccess);
  EXPECT_TRUE(Contains(version.out, "not registered (run 'orvex register')")) << version.out;
  // The advice is a line of its own, not an escaped line break.
  EXPECT_TRUE(Contains(listed.err, ")\nRun 'orvex register' to register the plug-in.\n")) << listed.err;
  EXPECT_FALSE(Contains(listed.err, "\\n")) << listed.err;
}

TEST_F(CliTest, VerboseShowsTheDialogueWithThePasswordMasked) {
  ORVEX_REQUIRE_SERVER(ServerKind::Pyftpdlib);
  FtpServer server(ServerKind::Pyftpdlib);
  server.WriteFile("seen.txt", "x");
  for (const auto& verbose : {std::vector<std::string>{"-v", "ls"}, {"ls", "--verbose"}}) {
    auto arguments = verbose;
    arguments.push_back(Url(server));
    const auto result = WithLogin(server, arguments);
    EXPECT_EQ(result.status, kSuccess) << result.err;
    EXPECT_EQ(result.out, "seen.txt\n");
    for (const std::string& line : std::vector<std::string>{"< 220", "> USER " + server.user() + "\n", "> PASS ****\n", "< 230", "> QUIT"}) {
      EXPECT_TRUE(Contains(result.err, line)) << line << " in\n" << result.err;
    }
    EXPECT_FALSE(Contains(result.err, server.password())) << result.err;
  }
  // A refused login shows the server's word for it, and still no password.
  const auto refused = Orvex({"ls", Url(server), "-v", "--user", server.user(), "--password-stdin"},
                             "wrong-" + server.password() + "\n");
  EXPECT_EQ(refused.status, kFailure);
  EXPECT_TRUE(Contains(refused.err, "> PASS ****\n< 530")) << refused.err;
  EXPECT_FALSE(Contains(refused.err, server.password())) << refused.err;
  // A server that repeats the password back (in any reply, also on the
  // connection that carries the contents): masked there too.
  {
    ScriptedServer echoing;
    echoing.On("PASS", [](ScriptedServer::Session& session, const ScriptedServer::Command& command) {
      session.Reply("230-Welcome, your password " + command.argument + " is weak\r\n230 " + command.argument);
    });
    const std::string secret = "open sesame";
    const auto echoed = Orvex({"-v", "ls", "ftp://127.0.0.1:" + std::to_string(echoing.port()) + "/", "--user", "me",
                               "--password-stdin"},
                              secret + "\r\n");
    EXPECT_TRUE(Contains(echoed.err, "> PASS ****\n< 230-Welcome, your password **** is weak\n< 230 ****\n"))
        << echoed.err;
    EXPECT_FALSE(Contains(echoed.err, secret)) << echoed.err;
  }
  // Without -v nothing of the dialogue shows, and the log holds none of it.
  const auto quiet = WithLogin(server, {"ls", Url(server)});
  EXPECT_EQ(quiet.err, "");
  std::ifstream log(LogFile());
  std::string line;
  while (std::getline(log, line)) EXPECT_FALSE(Contains(line, "USER ")) << line;
}

TEST_F(CliTest, AProxyComesFromTheEnvironmentUnlessToldOtherwise) {
  ORVEX_REQUIRE_SERVER(ServerKind::Pyftpdlib);
  ORVEX_REQUIRE_PROXY(ProxyKind::Socks5);
  FtpServer server(ServerKind::Pyftpdlib);
  server.WriteFile("seen.txt", "x");
  ProxyDaemon proxy(ProxyKind::Socks5);
  const std::string address = "socks5://" + proxy.host() + ":" + std::to_string(proxy.port());
  auto run = [&](const std::map<std::string, std::string>& variables, std::vector<std::string> arguments) {
    auto environment = Environment();
    for (const auto& [name, value] : variables) environment[name] = value;
    arguments.insert(arguments.end(), {"--user", server.user(), "--password-stdin"});
    return RunOrvex(ORVEX_CLI, arguments, environment, server.password() + "\n", seconds(60));
  };
  for (const char* variable : {"ftp_proxy", "all_proxy", "ALL_PROXY"}) {
    EXPECT_EQ(run({{variable, address}}, {"ls", Url(server)}).out, "seen.txt\n") << variable;
  }
  proxy.Stop();
  // The proxy is gone: the environment's proxy was really used, --no-proxy
  // and no_proxy go direct, and a scheme the engine lacks is a usage error.
  const auto gone = run({{"ftp_proxy", address}}, {"ls", Url(server)});
  EXPECT_EQ(gone.status, kFailure);
  // Its failure names the proxy and where it came from.
  EXPECT_TRUE(Contains(gone.err, "(through the proxy " + address + " from ftp_proxy)\n")) << gone.err;
  EXPECT_EQ(run({{"ftp_proxy", address}}, {"ls", Url(server), "--no-proxy"}).out, "seen.txt\n");
  EXPECT_EQ(run({{"ftp_proxy", address}, {"no_proxy", "example.org, 127.0.0.1"}}, {"ls", Url(server)}).out,
            "seen.txt\n");
  const auto unsupported = run({{"all_proxy", "socks4://127.0.0.1:1080"}}, {"ls", Url(server)});
  EXPECT_EQ(unsupported.status, kUsage);
  EXPECT_TRUE(Contains(unsupported.err, "all_proxy: unsupported proxy scheme 'socks4://'")) << unsupported.err;
  const auto control = run({{"ftp_proxy", "127.0.0.1\x1b[2J:1080"}}, {"ls", Url(server)});
  EXPECT_EQ(control.status, kUsage);
  EXPECT_TRUE(Contains(control.err, "ftp_proxy needs HOST:PORT")) << control.err;
  EXPECT_FALSE(Contains(control.err, "\x1b")) << control.err;
}

TEST_F(CliTest, MissingRemoteFoldersAreCreatedOnRequest) {
  ORVEX_REQUIRE_SERVER(ServerKind::Pyftpdlib);
  FtpServer server(ServerKind::Pyftpdlib);
  server.WriteFile("file.txt", "x");
  // mkdir as mkdir(1): the parent must exist and the folder must not; -p
  // makes parents and accepts what is there.
  EXPECT_EQ(WithLogin(server, {"mkdir", Url(server, "a/b/c")}).status, kFailure);
  EXPECT_FALSE(std::filesystem::exists(server.root() / "a"));
  EXPECT_EQ(WithLogin(server, {"mkdir", "-p", Url(server, "a/b/c")}).status, kSuccess);
  EXPECT_TRUE(std::filesystem::is_directory(server.root() / "a" / "b" / "c"));
  EXPECT_EQ(WithLogin(server, {"mkdir", "-p", Url(server, "a/b/c")}).status, kSuccess);
  const auto again = WithLogin(server, {"mkdir", Url(server, "a/b")});
  EXPECT_EQ(again.status, kFailure);
  EXPECT_TRUE(Contains(again.err, "already exists")) << again.err;
  // A file in the way: said as such, by a dry run too, and left as it is.
  WriteTree(Local("site"), {{"index.html", "<p>"}, {"img/logo.png", "png"}});
  const std::vector<std::vector<std::string>> blocked = {
      {"mkdir", "-p", Url(server, "file.txt/sub")},
      {"mkdir", "-p", Url(server, "file.txt")},
      {"sync", Local("site").string(), Url(server, "file.txt/sub/deeper"), "--up"},
      {"sync", Local("site").string(), Url(server, "file.txt"), "--up", "--dry-run"},
      {"sync", Local("site").string(), Url(server, "a/file.txt/x"), "--up", "--dry-run", "--delete"},
  };
  server.WriteFile("a/file.txt", "y");
  for (const auto& arguments : blocked) {
    const auto result = WithLogin(server, arguments);
    EXPECT_EQ(result.status, kFailure) << arguments.back() << result.out;
    const std::string file = arguments[2].find("a/file.txt") != std::string::npos ? "a/file.txt" : "file.txt";
    EXPECT_TRUE(Contains(result.err, "not a folder: " + Url(server, file) + "\n")) << result.err;
    EXPECT_FALSE(Contains(result.out, "would create")) << result.out;
  }
  EXPECT_EQ(ReadTree(server.root())["file.txt"], "x");
  EXPECT_EQ(ReadTree(server.root())["a/file.txt"], "y");

  // sync --up into a folder that is not there yet: a dry run only says so.
  const auto planned = WithLogin(server, {"sync", Local("site").string(), Url(server, "www/2026"), "--up", "--dry-run"});
  EXPECT_EQ(planned.status, kSuccess) << planned.err;
  EXPECT_TRUE(Contains(planned.out, "would create " + Url(server, "www/2026/"))) << planned.out;
  EXPECT_TRUE(Contains(planned.out, "would copy 2 files")) << planned.out;
  EXPECT_FALSE(std::filesystem::exists(server.root() / "www"));
  const auto synced = WithLogin(server, {"sync", Local("site").string(), Url(server, "www/2026"), "--up"});
  EXPECT_EQ(synced.status, kSuccess) << synced.err;
  EXPECT_EQ(ReadTree(server.root() / "www" / "2026"), ReadTree(Local("site")));
}

TEST_F(CliTest, APersonAtATerminalIsAskedForThePasswordWithoutEcho) {
  ORVEX_REQUIRE_SERVER(ServerKind::Pyftpdlib);
  FtpServer server(ServerKind::Pyftpdlib);
  server.WriteFile("seen.txt", "x");
  {
    TerminalProcess orvex(ORVEX_CLI, {"ls", Url(server), "--user", server.user()}, Environment());
    ASSERT_TRUE(orvex.WaitFor("Password for " + server.user() + "@127.0.0.1: ", seconds(30))) << orvex.screen();
    orvex.Type(server.password() + "\n");
    EXPECT_EQ(orvex.Finish(seconds(60)), kSuccess) << orvex.screen();
    EXPECT_TRUE(Contains(orvex.screen(), "seen.txt")) << orvex.screen();
    EXPECT_FALSE(Contains(orvex.screen(), server.password())) << orvex.screen();
  }
  {
    // --password-stdin on a terminal: the same, without echo.
    TerminalProcess orvex(ORVEX_CLI, {"ls", Url(server), "--user", server.user(), "--password-stdin"},
                          Environment());
    ASSERT_TRUE(orvex.WaitFor("Password: ", seconds(30))) << orvex.screen();
    orvex.Type(server.password() + "\n");
    EXPECT_EQ(orvex.Finish(seconds(60)), kSuccess) << orvex.screen();
    EXPECT_FALSE(Contains(orvex.screen(), server.password())) << orvex.screen();
  }
  {
    // Ctrl-D at the prompt: no password; the refusal says none was typed
    // (not to run on a terminal, where it already is), on a line of its own.
    TerminalProcess orvex(ORVEX_CLI, {"ls", Url(server), "--user", server.user()}, Environment());
    ASSERT_TRUE(orvex.WaitFor("Password for ", seconds(30))) << orvex.screen();
    orvex.Type("\x04");
    EXPECT_EQ(orvex.Finish(seconds(60)), kFailure) << orvex.screen();
    EXPECT_TRUE(Contains(orvex.screen(), ")\r\norvex: no password was typed at the prompt\r\n")) << orvex.screen();
    EXPECT_FALSE(Contains(orvex.screen(), "\\n")) << orvex.screen();
  }
  // Not on a terminal nobody is asked: a script never hangs on a prompt.
  const auto script = Orvex({"ls", Url(server), "--user", server.user()}, "", seconds(60));
  EXPECT_EQ(script.status, kFailure);
  EXPECT_FALSE(Contains(script.out + script.err, "Password for"));
  EXPECT_TRUE(Contains(script.err, ")\norvex: no password was given: use --password-stdin")) << script.err;
}

TEST_F(CliTest, ProgressShowsOnATerminalAndPlainLinesElsewhere) {
  ORVEX_REQUIRE_SERVER(ServerKind::Pyftpdlib);
  FtpServer server(ServerKind::Pyftpdlib);
  const std::string content = BinaryContent(3 * 1024 * 1024 + 5, 7);
  server.WriteFile("big.bin", content);
  std::ofstream(Local(".netrc")) << "machine 127.0.0.1 login " << server.user() << " password "
                                 << server.password() << "\n";
  ::chmod(Local(".netrc").c_str(), 0600);
  {
    TerminalProcess orvex(ORVEX_CLI, {"get", Url(server, "big.bin"), Local("big.bin").string()}, Environment());
    EXPECT_EQ(orvex.Finish(seconds(60)), kSuccess) << orvex.screen();
    // A status line with bytes of the total, percent and rate, then cleared.
    EXPECT_TRUE(Contains(orvex.screen(), " of 3.0 MiB  ")) << orvex.screen();
    EXPECT_TRUE(Contains(orvex.screen(), "%  ")) << orvex.screen();
    EXPECT_TRUE(Contains(orvex.screen(), "/s  ")) << orvex.screen();
    EXPECT_TRUE(Contains(orvex.screen(), "\r\033[Kdownloaded ")) << orvex.screen();
  }
  // A narrow terminal, wide letters in the name: every redraw stays within
  // one line (a line that wraps leaves its first part behind at each
  // redraw) and never splits a letter.
  const std::string wide_name = "日本語のファイル名 2026.bin";
  server.WriteFile(wide_name, content);
  for (const unsigned short columns : std::array<unsigned short, 2>{24, 41}) {
    TerminalProcess orvex(ORVEX_CLI, {"get", Url(server, wide_name), Local("wide.bin").string()}, Environment(),
                          columns);
    EXPECT_EQ(orvex.Finish(seconds(60)), kSuccess) << orvex.screen();
    const std::string& screen = orvex.screen();
    std::size_t lines = 0;
    for (std::size_t at = screen.find("\r\033[K"); at != std::string::npos;) {
      const std::size_t next = screen.find("\r\033[K", at + 4);
      const std::string line = screen.substr(at + 4, next == std::string::npos ? std::string::npos : next - at - 4);
      at = next;
      if (line.empty() || line.rfind("downloaded ", 0) == 0) continue;
      ++lines;
      EXPECT_LT(text::DisplayWidth(line), columns) << columns << " columns: " << line;
      EXPECT_TRUE(text::IsTerminalSafe(line)) << line;
    }
    EXPECT_GT(lines, 0u) << screen;
  }
  WriteTree(Local("tree"), {{"a.bin", content}, {"b.txt", "b"}});
  {
    TerminalProcess orvex(ORVEX_CLI, {"sync", Local("tree").string(), Url(server, "up"), "--up"}, Environment());
    EXPECT_EQ(orvex.Finish(seconds(60)), kSuccess) << orvex.screen();
    EXPECT_TRUE(Contains(orvex.screen(), "[0/2] ")) << orvex.screen();
    EXPECT_TRUE(Contains(orvex.screen(), " of 3.0 MiB  ")) << orvex.screen();
    EXPECT_TRUE(Contains(orvex.screen(), " left  ")) << orvex.screen();
    EXPECT_TRUE(Contains(orvex.screen(), "copied 2, skipped 0")) << orvex.screen();
  }
  // In a pipe: the plain lines scripts read, no status line.
  const auto piped = Orvex({"get", Url(server, "big.bin"), Local("again.bin").string()});
  EXPECT_EQ(piped.out, "downloaded " + Local("again.bin").string() + " (" + std::to_string(content.size()) +
                           " bytes)\n");
  const auto synced = Orvex({"sync", Local("tree").string(), Url(server, "down"), "--up"});
  EXPECT_TRUE(Contains(synced.out, "copied a.bin (" + std::to_string(content.size()) + " bytes)\n")) << synced.out;
  EXPECT_FALSE(Contains(synced.out, "\r")) << synced.out;
}

TEST_F(CliTest, CompletionScriptsLoadAndComplete) {
  const auto bash = Orvex({"completion", "bash"});
  ASSERT_EQ(bash.status, kSuccess);
  std::ofstream(Local("orvex.bash")) << bash.out;
  auto complete = [&](const std::string& words, int current) {
    const std::string script = "set -e; source '" + Local("orvex.bash").string() + "'; COMP_WORDS=(" + words +
                               "); COMP_CWORD=" + std::to_string(current) +
                               "; _orvex; printf '%s\\n' \"${COMPREPLY[@]}\"";
    return RunOrvex("/bin/bash", {"--norc", "-c", script}, Environment());
  };
  struct Case {
    std::string words;
    int current;
    std::string expected;
  };
  const Case cases[] = {
      {"orvex sy", 1, "sync\n"},
      {"orvex -v mk", 2, "mkdir\n"},
      {"orvex sync --d", 2, "--down\n--delete\n--dry-run\n"},
      {"orvex ls ftp://x/ --pa", 3, "--password-stdin\n"},
      {"orvex help re", 2, "register\n"},
      {"orvex tr", 1, "trust\n"},
      {"orvex ls ftps://x/ --in", 3, "--insecure\n"},
      {"orvex trust ftps://x/ --y", 3, "--yes\n"},
      {"orvex --ver", 1, "--version\n--verbose\n"},
  };
  for (const auto& test : cases) {
    const auto result = complete(test.words, test.current);
    EXPECT_EQ(result.err, "") << test.words;
    EXPECT_EQ(result.out, test.expected) << test.words;
  }
  const auto zsh = Orvex({"completion", "zsh"});
  EXPECT_EQ(zsh.status, kSuccess);
  EXPECT_EQ(zsh.out.rfind("#compdef orvex\n", 0), 0u);
  ASSERT_TRUE(std::filesystem::exists("/usr/bin/zsh")) << "zsh is missing (scripts/packages.txt)";
  std::filesystem::create_directories(Local("zsh-functions"));
  std::ofstream(Local("zsh-functions/_orvex")) << zsh.out;
  EXPECT_EQ(RunOrvex("/usr/bin/zsh", {"-n", Local("zsh-functions/_orvex").string()}, Environment()).status, kSuccess);

  // zsh completing for real, at a terminal: Ctrl-X shows the line as
  // completed. Operands count from the command word on, whatever options
  // come before them.
  WriteTree(Local("here"), {{"localfile.txt", "x"}, {"subdir/", ""}});
  std::ofstream(Local(".zshrc")) << "fpath=('" << Local("zsh-functions").string() << "' $fpath)\n"
                                 << "autoload -Uz compinit && compinit -u -D\n"
                                 << "show-line() { zle -M \"LINE<$BUFFER>\" }\nzle -N show-line\n"
                                 << "bindkey '^X' show-line\nPS1='$ '\ncd '" << Local("here").string() << "'\n";
  const struct {
    std::string typed, completed;
  } lines[] = {
      {"orvex put loc", "orvex put localfile.txt "},
      {"orvex -v get ftp://x/a loc", "orvex -v get ftp://x/a localfile.txt "},
      {"orvex sync --up sub", "orvex sync --up subdir/"},
      {"orvex help syn", "orvex help sync "},
      {"orvex completion z", "orvex completion zsh "},
      {"orvex ls ftp://x/ --cacert loc", "orvex ls ftp://x/ --cacert localfile.txt "},
  };
  auto environment = Environment();
  environment["ZDOTDIR"] = Local("").string();
  environment["TERM"] = "xterm";
  // One shell for all lines: compinit alone takes seconds on a busy machine.
  TerminalProcess shell("/usr/bin/zsh", {"-i"}, environment);
  ASSERT_TRUE(shell.WaitFor("$ ", seconds(60))) << shell.screen();
  for (const auto& line : lines) {
    shell.Type(line.typed + "\t\x18");
    EXPECT_TRUE(shell.WaitFor("LINE<" + line.completed + ">", seconds(30))) << line.typed << "\n" << shell.screen();
    shell.Type("\x15");  // Ctrl-U: an empty line for the next
  }
  shell.Type("exit\n");
  shell.Finish(seconds(30));
}

}  // namespace
}  // namespace orvex::testing

namespace orvex::testing {
namespace {

TEST(ManualPage, NamesEveryCommandAndOption) {
  std::ifstream file(std::string(ORVEX_SOURCE_DIR) + "/docs/orvex.1");
  std::ostringstream content;
  content << file.rdbuf();
  std::string page = content.str();
  ASSERT_FALSE(page.empty());
  // roff writes "-" as "\-".
  for (std::size_t at; (at = page.find("\\-")) != std::string::npos;) page.erase(at, 1);
  const auto help = RunOrvex(ORVEX_CLI, {"--help"}, {});
  std::istringstream lines(help.out);
  std::string line;
  bool commands = false;
  while (std::getline(lines, line)) {
    if (line == "Commands:") commands = true;
    if (line.empty()) commands = false;
    if (commands && line.rfind("  ", 0) == 0) {
      const std::string name = line.substr(2, line.find(' ', 2) - 2);
      EXPECT_TRUE(Contains(page, "\n.BI \"" + name + " ") || Contains(page, "\n.B " + name + "\n") ||
                  Contains(page, "\n.BR " + name + " "))
          << "the manual has no entry for the command " << name;
    }
    for (std::size_t at = line.find("--"); at != std::string::npos; at = line.find("--", at + 2)) {
      const std::string option = line.substr(at, line.find_first_of(" ,)']|", at) - at);
      EXPECT_NE(page.find(option), std::string::npos) << "the manual does not mention " << option;
    }
  }
}

// Output that cannot be written (a full disk) makes the run a failure: a
// script must not take a listing cut short for the whole of it.
TEST_F(CliTest, OutputThatCannotBeWrittenIsAFailure) {
  ORVEX_REQUIRE_SERVER(ServerKind::Pyftpdlib);
  FtpServer server(ServerKind::Pyftpdlib);
  server.WriteFile("seen.txt", "x");
  const std::string login = " --user " + server.user() + " --password-stdin";
  for (const std::string& command : {std::string(" --help"), " ls " + Url(server) + login,
                                     " ls --json " + Url(server) + login,
                                     " get " + Url(server, "seen.txt") + " '" + Local("seen.txt").string() + "'" + login}) {
    const auto result = RunOrvex("/bin/sh", {"-c", std::string("exec '") + ORVEX_CLI + "'" + command + " > /dev/full"},
                                 Environment(), server.password() + "\n", seconds(60));
    EXPECT_EQ(result.status, kFailure) << command << "\n" << result.err;
    EXPECT_TRUE(Contains(result.err, "orvex: cannot write to standard output"))
        << command << "\n" << result.err;
  }
}

// The README shows `orvex --help` as it is, not as it once was.
TEST(Readme, ShowsTheHelpAsItIs) {
  std::ifstream file(std::string(ORVEX_SOURCE_DIR) + "/README.md");
  std::ostringstream content;
  content << file.rdbuf();
  const auto help = RunOrvex(ORVEX_CLI, {"--help"}, {});
  ASSERT_EQ(help.status, kSuccess);
  EXPECT_TRUE(Contains(content.str(), "`orvex --help`:\n\n```\n" + help.out + "```\n"))
      << "README.md's copy of `orvex --help` differs from:\n" << help.out;
}

TEST_F(CliTest, TheInstalledTreeWorksFromWhereItIs) {
  ORVEX_REQUIRE_SERVER(ServerKind::Pyftpdlib);
  FtpServer server(ServerKind::Pyftpdlib);
  server.WriteFile("seen.txt", "x");
  const auto destination = Local("staging");
  auto environment = Environment();
  environment["DESTDIR"] = destination.string();
  const auto installed =
      RunOrvex(CMAKE_COMMAND, {"--install", ORVEX_BINARY_DIR, "--prefix", "/opt/orvex-test"}, environment);
  ASSERT_EQ(installed.status, kSuccess) << installed.out << installed.err;
  const auto prefix = destination / "opt/orvex-test";
  const std::string program = (prefix / "bin/orvex").string();
  for (const char* file : {"share/man/man1/orvex.1", "share/bash-completion/completions/orvex",
                           "share/zsh/vendor-completions/_orvex"}) {
    EXPECT_TRUE(std::filesystem::exists(prefix / file)) << file;
  }
  // Nothing in the installed files points back into the build.
  const auto dynamic = RunOrvex("/usr/bin/readelf", {"-d", program}, {});
  EXPECT_NE(dynamic.out.find("[$ORIGIN/../lib"), std::string::npos) << dynamic.out;
  EXPECT_EQ(dynamic.out.find(ORVEX_BINARY_DIR), std::string::npos) << dynamic.out;

  // Run from elsewhere, with a registry of its own: register points at the
  // installed plug-in, and a listing works.
  environment.erase("DESTDIR");
  environment["ORVEX_CLASS_REGISTRY"] = Local("installed.registry").string();
  const auto version = RunOrvex(program, {"--version"}, environment);
  EXPECT_EQ(version.status, kSuccess);
  EXPECT_TRUE(Contains(version.out, "not registered")) << version.out;
  const auto registered = RunOrvex(program, {"register"}, environment);
  EXPECT_EQ(registered.status, kSuccess) << registered.err;
  EXPECT_TRUE(Contains(registered.out, (prefix / "lib").string())) << registered.out;
  EXPECT_TRUE(Contains(RunOrvex(program, {"--version"}, environment).out, "OrvexFTP plug-in 2.0 beta "));
  const auto listed = RunOrvex(program, {"ls", Url(server), "--user", server.user(), "--password-stdin"},
                               environment, server.password() + "\n");
  EXPECT_EQ(listed.status, kSuccess) << listed.err;
  EXPECT_EQ(listed.out, "seen.txt\n");
}

}  // namespace
}  // namespace orvex::testing
