#pragma once
// What every command that talks to a server shares: exit statuses, parsing
// its arguments with the connection options, reading a URL, and opening a
// connected session. Problems are printed to standard error as "orvex: ...".

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/cli/arguments.h"
#include "host/cli/commands.h"
#include "host/cli/remote_session.h"
#include "host/cli/remote_url.h"

namespace orvex::cli {

// 0: everything succeeded; 1: an item or the connection failed; 2: the
// command line was wrong (nothing was attempted).
inline constexpr int kSuccess = 0;
inline constexpr int kFailure = 1;
inline constexpr int kUsage = 2;

// Prints "orvex: MESSAGE" and the usage lines to standard error; returns kUsage.
int UsageError(const std::string& message);

// Prints "orvex: MESSAGE" to standard error, terminal-safe (a server's text
// or a name may hold control characters); returns kFailure.
int Problem(const std::string& message);

// Parses `arguments` (those after the command word) with the connection
// options and `extra`; the operand count must lie in [fewest, most].
// nullopt after printing a usage error.
std::optional<ParsedArguments> ParseCommand(const std::vector<std::string>& arguments,
                                            const std::vector<OptionSpec>& extra, std::size_t fewest,
                                            std::size_t most);

// nullopt after printing a usage error.
std::optional<RemoteUrl> ReadUrl(const std::string& text);

// Creates the plug-in for `location`, applies the connection options and
// connects. On failure prints why and sets `status` (kUsage for options that
// contradict each other, kFailure otherwise) and returns null.
std::unique_ptr<RemoteSession> OpenSession(const RemoteUrl& location, const ParsedArguments& arguments,
                                           int& status);

// Whether standard output is a terminal (progress display) or not (plain lines).
bool OutputIsTerminal();

}  // namespace orvex::cli
