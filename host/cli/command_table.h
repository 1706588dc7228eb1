#pragma once
// The one table of orvex's commands and options. The option parser, the
// help texts (`orvex help`, `orvex COMMAND --help`) and the shell completion
// scripts are all made from it, so a new command or option is added here and
// nowhere else (the man page, docs/orvex.1, is checked against it by a test).

#include <string>
#include <vector>

#include "host/cli/arguments.h"

namespace orvex::cli {

struct OptionInfo {
  std::string name;        // "--user", "-l"
  std::string value_name;  // "NAME"; empty for an option without a value
  std::string help;        // one line
  // What a shell completes the value with: "" (nothing), "file", "folder".
  std::string completes;
};

struct CommandInfo {
  std::string name;
  std::vector<std::string> operands;  // "URL", "[LOCAL]": required ones first
  std::string summary;                // one line
  std::vector<OptionInfo> options;    // the command's own options
  bool connects = false;              // takes the connection options
  std::string example;
  std::string details;                // more lines for `orvex help COMMAND`, may be empty
  // What a shell completes the operands with, one entry per operand:
  // "url", "file", "folder" or "".
  std::vector<std::string> completes;
};

// Every command, in the order the help lists them.
const std::vector<CommandInfo>& Commands();
// nullptr when there is no command of that name.
const CommandInfo* FindCommand(const std::string& name);

// Options of every command that talks to a server.
const std::vector<OptionInfo>& ConnectionOptionTable();
// Options before the command word: --help, --version, --verbose.
const std::vector<OptionInfo>& GlobalOptions();

// What the parser accepts for `command`: its own options, the connection
// options when it connects, and -v/--verbose, -h/--help.
std::vector<OptionSpec> OptionSpecsOf(const CommandInfo& command);

// Numbers of operands the command takes (required ones have no "[").
std::size_t FewestOperands(const CommandInfo& command);
std::size_t MostOperands(const CommandInfo& command);

// `orvex --help`: the synopsis of every command and the global options.
std::string GeneralHelp();
// `orvex help COMMAND`: synopsis, summary, options, an example.
std::string CommandHelp(const CommandInfo& command);
// "orvex get URL [LOCAL] [OPTIONS]"
std::string Synopsis(const CommandInfo& command);

// Completion scripts for `orvex completion bash|zsh`.
std::string BashCompletion();
std::string ZshCompletion();

}  // namespace orvex::cli
