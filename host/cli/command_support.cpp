// Shared steps of the commands that talk to a server.

#include "host/cli/command_support.h"

#include <unistd.h>

#include <iostream>
#include <map>

#include "platform/error.h"

namespace orvex::cli {

const char kRemoteUsageText[] =
    "       orvex ls URL [-l] [--json]\n"
    "       orvex get URL [LOCAL]\n"
    "       orvex put LOCAL URL\n"
    "       orvex mkdir URL | rm URL | rmdir URL | mv URL NEWNAME\n"
    "       orvex sync LOCALDIR URL --up|--down [--delete] [--dry-run] [--size-only]\n"
    "       orvex trust URL [--yes]\n"
    "connection options: --user NAME --password-stdin --anonymous --port PORT\n"
    "       --proxy HOST:PORT --no-cache --ascii --no-temp-copy --skip-nav\n"
    "       --tls --cacert FILE --fingerprint SHA256:... --insecure\n"
    "URL: ftp://[user@]server[:port]/path; ftpes:// for explicit TLS, ftps:// for\n"
    "       implicit TLS (port 990)\n";

Command FindRemoteCommand(const std::string& name) {
  static const std::map<std::string, Command> commands = {
      {"ls", ListCommand},           {"get", GetCommand},           {"put", PutCommand},
      {"mkdir", MakeFolderCommand},  {"rm", RemoveFileCommand},     {"rmdir", RemoveFolderCommand},
      {"mv", RenameCommand},         {"sync", SyncCommand},         {"trust", TrustCommand},
  };
  const auto found = commands.find(name);
  return found == commands.end() ? nullptr : found->second;
}

int UsageError(const std::string& message) {
  std::cerr << "orvex: " << message << "\n" << "usage:\n" << kRemoteUsageText;
  return kUsage;
}

std::optional<ParsedArguments> ParseCommand(const std::vector<std::string>& arguments,
                                            const std::vector<OptionSpec>& extra, std::size_t fewest,
                                            std::size_t most) {
  std::vector<OptionSpec> allowed = ConnectionOptionSpecs();
  allowed.insert(allowed.end(), extra.begin(), extra.end());
  std::string error;
  auto parsed = ParseArguments(arguments, allowed, error);
  if (!parsed) {
    UsageError(error);
    return std::nullopt;
  }
  if (parsed->operands.size() < fewest || parsed->operands.size() > most) {
    UsageError(parsed->operands.size() < fewest ? "missing operand" : "too many operands");
    return std::nullopt;
  }
  return parsed;
}

std::optional<RemoteUrl> ReadUrl(const std::string& text) {
  std::string error;
  auto url = ParseRemoteUrl(text, error);
  if (!url) UsageError(error);
  return url;
}

std::unique_ptr<RemoteSession> OpenSession(const RemoteUrl& location, const ParsedArguments& arguments,
                                           int& status) {
  std::string error;
  const auto options = ReadConnectionOptions(arguments, error);
  if (!options) {
    status = UsageError(error);
    return nullptr;
  }
  auto session = std::make_unique<RemoteSession>(location);
  if (!session->Apply(*options, std::cin, error)) {
    status = UsageError(error);
    return nullptr;
  }
  if (!session->Connect()) {
    std::cerr << "orvex: " << session->LastError() << "\n";
    status = kFailure;
    return nullptr;
  }
  return session;
}

bool OutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace orvex::cli
