#pragma once
// What every command that talks to a server shares: exit statuses (see
// exit_status.h), parsing
// its arguments with the connection options, reading a URL, and opening a
// connected session. Problems are printed to standard error as "orvex: ...".

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/cli/arguments.h"
#include "host/cli/commands.h"
#include "host/cli/exit_status.h"
#include "host/cli/remote_session.h"
#include "host/cli/remote_url.h"

namespace orvex::cli {

// The command being run (its word), for the usage errors; set by main.
void SetCurrentCommand(const std::string& name);
// -v before the command word: the FTP dialogue is shown.
void SetVerbose(bool verbose);

// Prints "orvex: MESSAGE", the command's synopsis and where to find its help
// to standard error; returns kUsage.
int UsageError(const std::string& message);

// Prints "orvex: MESSAGE" to standard error, terminal-safe (a server's text
// or a name may hold control characters); returns kFailure.
int Problem(const std::string& message);

// Parses `arguments` (those after the command word) with the options the
// command table gives the command `name`; the operands must be as many as
// its synopsis names ("missing URL" otherwise). nullopt after printing a
// usage error.
std::optional<ParsedArguments> ParseCommand(const std::vector<std::string>& arguments, const std::string& name);

// nullopt after printing a usage error.
std::optional<RemoteUrl> ReadUrl(const std::string& text);

// The connection options of a command line for a server; nullopt after
// printing a usage error (and setting `status` to kUsage).
std::optional<ConnectionOptions> ReadOptions(const RemoteUrl& location, const ParsedArguments& arguments,
                                            int& status);

// Creates the plug-in for `location`, applies the connection options and
// connects. On failure prints why (or, for a caller that tries something
// else, leaves the report in `failure`) and sets `status` (kUsage for options that contradict
// each other, kFailure otherwise) and returns null. A password read on the
// way stays in `options` for further sessions.
std::unique_ptr<RemoteSession> OpenSession(const RemoteUrl& location, ConnectionOptions& options, int& status,
                                           std::string* failure = nullptr);
std::unique_ptr<RemoteSession> OpenSession(const RemoteUrl& location, const ParsedArguments& arguments,
                                           int& status);

// A further session for `location` with the same settings as the one
// OpenSession made from `options` (login, password already read, port,
// proxy, TLS and certificate checks, server time offset, ...), not yet
// connected: its caller connects it, on a thread of its own if it likes.
// `label` goes in front of its lines of --verbose dialogue. Null with
// `error` set when it cannot be made.
std::unique_ptr<RemoteSession> PrepareSession(const RemoteUrl& location, ConnectionOptions& options,
                                              const std::string& label, std::string& error);

// A session at the folder `folder` names, which is created (with its
// parents) when missing, as `mkdir -p` does; with `create` false a missing
// folder is only reported through `exists`: the session is then one at the
// server's root and `path` the folder's host path in it; otherwise the
// session is at the folder and `path` its location; `url` says which. A file
// where a folder of the path should be fails ("not a folder: URL") before
// anything is made. Null after printing why.
struct FolderSession {
  std::unique_ptr<RemoteSession> session;
  std::string path;
  bool exists = true;
  RemoteUrl url;  // where the session was opened (the folder, or the root)
};
FolderSession OpenFolderCreating(const RemoteUrl& folder, ConnectionOptions& options, bool create, int& status);

// Whether standard output is a terminal (progress display) or not (plain lines).
bool OutputIsTerminal();

}  // namespace orvex::cli
