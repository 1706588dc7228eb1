// Shared steps of the commands that talk to a server.

#include "host/cli/command_support.h"

#include <unistd.h>

#include <iostream>
#include <map>

#include "host/cli/command_table.h"
#include "host/cli/terminal_input.h"
#include "platform/error.h"
#include "platform/text/terminal_text.h"

namespace orvex::cli {

Command FindRemoteCommand(const std::string& name) {
  static const std::map<std::string, Command> commands = {
      {"ls", ListCommand},           {"get", GetCommand},           {"put", PutCommand},
      {"mkdir", MakeFolderCommand},  {"rm", RemoveFileCommand},     {"rmdir", RemoveFolderCommand},
      {"mv", RenameCommand},         {"sync", SyncCommand},         {"trust", TrustCommand},
  };
  const auto found = commands.find(name);
  return found == commands.end() ? nullptr : found->second;
}

namespace {

std::string current_command;
bool verbose_everywhere = false;

}  // namespace

void SetCurrentCommand(const std::string& name) { current_command = name; }
void SetVerbose(bool verbose) { verbose_everywhere = verbose; }

int UsageError(const std::string& message) {
  std::cerr << "orvex: " << text::TerminalSafe(message) << "\n";
  if (const CommandInfo* command = FindCommand(current_command)) {
    std::cerr << "usage: " << Synopsis(*command) << "\n"
              << "Try 'orvex help " << command->name << "' for more information.\n";
  } else {
    std::cerr << "Try 'orvex --help' for more information.\n";
  }
  return kUsage;
}

int Problem(const std::string& message) {
  std::cerr << "orvex: " << text::TerminalSafe(message) << "\n";
  return kFailure;
}

std::optional<ParsedArguments> ParseCommand(const std::vector<std::string>& arguments, const std::string& name) {
  const CommandInfo* command = FindCommand(name);
  if (!command) {
    UsageError("unknown command '" + name + "'");
    return std::nullopt;
  }
  std::string error;
  auto parsed = ParseArguments(arguments, OptionSpecsOf(*command), error);
  if (!parsed) {
    UsageError(error);
    return std::nullopt;
  }
  const std::size_t count = parsed->operands.size();
  if (count < FewestOperands(*command)) {
    UsageError("missing " + command->operands[count]);
    return std::nullopt;
  }
  if (count > MostOperands(*command)) {
    UsageError("unexpected operand '" + parsed->operands[MostOperands(*command)] + "'");
    return std::nullopt;
  }
  if (verbose_everywhere) parsed->flags.insert("--verbose");
  return parsed;
}

std::optional<RemoteUrl> ReadUrl(const std::string& text) {
  std::string error;
  auto url = ParseRemoteUrl(text, error);
  if (!url) UsageError(error);
  return url;
}

std::optional<ConnectionOptions> ReadOptions(const RemoteUrl& location, const ParsedArguments& arguments,
                                            int& status) {
  std::string error;
  auto options = ReadConnectionOptions(arguments, location, error);
  if (!options) status = UsageError(error);
  return options;
}

std::unique_ptr<RemoteSession> OpenSession(const RemoteUrl& location, ConnectionOptions& options, int& status,
                                           std::string* failure) {
  std::string error;
  if (options.verbose) EnableDialogueTrace();
  auto session = std::make_unique<RemoteSession>(location);
  if (options.verbose) session->ShowDialogue();
  if (!session->Apply(options, std::cin, error)) {
    status = UsageError(error);
    return nullptr;
  }
  if (!session->Connect()) {
    status = kFailure;
    std::string report = session->LastError();
    _Connection& connection = session->connection();
    if (failure) {
      *failure = report;
      return nullptr;
    }
    Problem(report);
    // A proxy the user may not have in mind (one from the environment) is
    // named: its failure reads like the server's otherwise.
    if (options.proxy) {
      std::cerr << "orvex: (through the proxy " << text::TerminalSafe(*options.proxy) << " from "
                << options.proxy_source << ")\n";
    }
    // Why a login without a password was refused, on a line of its own.
    if (!connection.Anonymous() && connection.Password().empty() &&
        report.find("refused the login") != std::string::npos) {
      std::cerr << (options.password_prompted
                        ? "orvex: no password was typed at the prompt\n"
                        : "orvex: no password was given: use --password-stdin or ~/.netrc, or run on a "
                          "terminal to be asked\n");
    }
    return nullptr;
  }
  return session;
}

namespace {

template <typename Item>
bool Lists(const std::vector<com::ComPtr<Item>>& items, const std::string& name) {
  for (const auto& item : items) {
    if (item->Name() == name) return true;
  }
  return false;
}

// How many of `names`, from the first, exist as folders, from their parents'
// listings (a listing that fails ends the count). `file` is set when the
// next name is a file, which no folder can be made through.
std::size_t ExistingFolders(RemoteSession& session, const std::vector<std::string>& names, bool& file) {
  file = false;
  for (std::size_t count = 0; count < names.size(); ++count) {
    const auto listing = session.List(session.PathOf({names.begin(), names.begin() + static_cast<std::ptrdiff_t>(count)}));
    if (!listing) return count;
    if (Lists(listing->folders, names[count])) continue;
    file = Lists(listing->files, names[count]);
    return count;
  }
  return names.size();
}

}  // namespace

FolderSession OpenFolderCreating(const RemoteUrl& folder, ConnectionOptions& options, bool create, int& status) {
  FolderSession result;
  std::string failure;
  result.session = OpenSession(folder, options, status, folder.names.empty() ? nullptr : &failure);
  if (result.session) {
    result.path = result.session->location();
    result.url = folder;
    return result;
  }
  if (folder.names.empty() || status != kFailure) return {};
  // The server's root tells whether the login works and the folder is missing.
  RemoteUrl root = folder;
  root.names.clear();
  auto session = OpenSession(root, options, status);
  if (!session) return {};
  bool file = false;
  const std::size_t existing = ExistingFolders(*session, folder.names, file);
  if (existing == folder.names.size()) {
    status = Problem(failure);  // there, but it could not be entered
    return {};
  }
  if (file) {
    // Said before anything is made, a dry run included.
    RemoteUrl blocking = folder;
    blocking.names.resize(existing + 1);
    status = Problem("not a folder: " + blocking.Location());
    return {};
  }
  const std::string path = session->PathOf(folder.names);
  if (!create) {
    return {std::move(session), path, false, root};
  }
  if (!session->plugin().iPC_CreateFolder(path)) {
    status = Problem(session->LastError());
    return {};
  }
  session.reset();
  result.session = OpenSession(folder, options, status);
  if (!result.session) return {};
  result.path = result.session->location();
  result.url = folder;
  return result;
}

std::unique_ptr<RemoteSession> PrepareSession(const RemoteUrl& location, ConnectionOptions& options,
                                              const std::string& label, std::string& error) {
  try {
    if (options.verbose) EnableDialogueTrace();
    auto session = std::make_unique<RemoteSession>(location);
    if (options.verbose) session->ShowDialogue(label);
    if (!session->Apply(options, std::cin, error)) return nullptr;
    // Ctrl-C cuts short this connection's waits as it does the first one's.
    session->CancelOnInterrupt();
    return session;
  } catch (const std::exception& failure) {
    error = failure.what();
    return nullptr;
  }
}

std::unique_ptr<RemoteSession> OpenSession(const RemoteUrl& location, const ParsedArguments& arguments,
                                           int& status) {
  auto options = ReadOptions(location, arguments, status);
  if (!options) return nullptr;
  return OpenSession(location, *options, status);
}

bool OutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace orvex::cli
