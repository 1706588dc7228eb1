// The commands and options of orvex, and the texts made from them.

#include "host/cli/command_table.h"

#include <algorithm>

namespace orvex::cli {
namespace {

constexpr char kUrlForm[] = "ftp://[USER@]SERVER[:PORT]/PATH";

std::string Pad(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  else text += "  ";
  return text;
}

std::string OptionLabel(const OptionInfo& option) {
  std::string label = option.name;
  if (!option.value_name.empty()) label += " " + option.value_name;
  return label;
}

// One aligned line per option.
std::string OptionLines(const std::vector<OptionInfo>& options) {
  std::string text;
  for (const auto& option : options) text += "  " + Pad(OptionLabel(option), 24) + option.help + "\n";
  return text;
}

std::string CommandsThatConnect() {
  std::string names;
  for (const auto& command : Commands()) {
    if (!command.connects) continue;
    if (!names.empty()) names += ", ";
    names += command.name;
  }
  return names;
}

}  // namespace

const std::vector<OptionInfo>& ConnectionOptionTable() {
  static const std::vector<OptionInfo> options = {
      {"--user", "NAME", "log in as NAME (asks for the password on a terminal)", ""},
      {"--password-stdin", "", "read the password from the first line of standard input", ""},
      {"--anonymous", "", "log in anonymously", ""},
      {"--port", "PORT", "connect to PORT (default 21, or the port in the URL)", ""},
      {"--proxy", "URL", "connect through a proxy: [http://|socks5://]HOST:PORT", ""},
      {"--no-proxy", "", "ignore ftp_proxy and all_proxy", ""},
      {"--no-cache", "", "always list the server, never the folder cache", ""},
      {"--ascii", "", "transfer the ASCII extensions in ASCII mode", ""},
      {"--no-temp-copy", "", "upload under the final name, not a temporary one", ""},
      {"--skip-nav", "", "hide the navigation folders some servers list", ""},
      {"--server-time-offset", "+HH:MM", "the time zone of the server's listings, where it misreports it", ""},
      {"--tls", "", "use explicit TLS (AUTH TLS, required) on an ftp:// URL", ""},
      {"--cacert", "FILE", "trust the certificate authorities in FILE (PEM) besides the system's", "file"},
      {"--fingerprint", "SHA256:HEX", "trust exactly the certificate with this fingerprint", ""},
      {"--insecure", "", "do not check the server's certificate (unsafe)", ""},
      {"--verbose", "", "show the FTP dialogue on standard error (also -v)", ""},
  };
  return options;
}

const std::vector<OptionInfo>& GlobalOptions() {
  static const std::vector<OptionInfo> options = {
      {"--help", "", "show this help (also -h); 'orvex help COMMAND' for one command", ""},
      {"--version", "", "show the versions of orvex and the plug-in", ""},
      {"--verbose", "", "show the FTP dialogue on standard error (also -v)", ""},
  };
  return options;
}

const std::vector<CommandInfo>& Commands() {
  static const std::vector<CommandInfo> commands = {
      {"ls", {"URL"}, "list a remote folder: folders (with a closing /), then files",
       {{"-l", "", "long form: kind, size in bytes, modification time, name", ""},
        {"--json", "", "one JSON object with the folders and files", ""}},
       true, "orvex ls -l ftp://ftp.example.org/pub", "", {"url"}},
      {"get", {"URL", "[LOCAL]"}, "download a file (to LOCAL, a file or a folder; default: its own name here)",
       {}, true, "orvex get ftp://ftp.example.org/pub/notes.txt ~/Downloads/",
       "The file arrives under a temporary name and replaces LOCAL only when complete.", {"url", "file"}},
      {"put", {"LOCAL", "URL"}, "upload a file (a URL ending in / names the folder to put it in)", {}, true,
       "orvex put report.pdf ftp://me@ftp.example.org/inbox/", "", {"file", "url"}},
      {"mkdir", {"URL"}, "create a remote folder",
       {{"-p", "", "create missing parent folders too; an existing folder is no error", ""}}, true,
       "orvex mkdir -p ftp://me@ftp.example.org/backup/2026/december", "", {"url"}},
      {"rm", {"URL"}, "delete a remote file", {}, true, "orvex rm ftp://me@ftp.example.org/inbox/old.zip", "",
       {"url"}},
      {"rmdir", {"URL"}, "delete a remote folder with everything in it", {}, true,
       "orvex rmdir ftp://me@ftp.example.org/inbox/old", "", {"url"}},
      {"mv", {"URL", "NEWNAME"}, "rename a remote file or folder within its folder", {}, true,
       "orvex mv ftp://me@ftp.example.org/inbox/draft.txt final.txt", "", {"url", ""}},
      {"sync", {"LOCALDIR", "URL"}, "make one side of a folder pair like the other",
       {{"--up", "", "copy from LOCALDIR to the server (creates the remote folder)", ""},
        {"--down", "", "copy from the server to LOCALDIR", ""},
        {"--delete", "", "delete what the source side does not have", ""},
        {"--dry-run", "", "only show what would be done", ""},
        {"--size-only", "", "compare sizes only, not modification times", ""},
        {"--parallel", "N", "copy over N connections at once (1 to 64, default 4)", ""},
        {"--exclude", "PATTERN", "leave out what matches (repeatable, first matching rule decides)", ""},
        {"--include", "PATTERN", "keep what matches though a later --exclude would leave it out", ""},
        {"--max-delete", "N", "refuse the whole run if it would delete more than N items", ""},
        {"--retries", "N", "try a step again after a transient fault, up to N times (default 3)", ""},
        {"--limit-rate", "RATE", "at most RATE bytes per second for the whole run (500k, 2M)", ""}},
       true, "orvex sync --up --delete ~/site ftp://me@ftp.example.org/www",
       "Exactly one of --up and --down. A file is copied when it is missing, its size differs or\n"
       "its time differs from the source's (either way: the target becomes a copy). Nothing is\n"
       "deleted without --delete, and nothing on the strength of a listing that failed; a dot\n"
       "file a server may hide from its listings is reported as not verifiable and left alone.\n"
       "Deletions come last, and none at all after any failure. Patterns are globs on the path\n"
       "below LOCALDIR: * and ? within a name, ** across folders, a / anywhere but at the end\n"
       "anchors at the top, a closing / matches folders only; what is left out is not touched.",
       {"folder", "url"}},
      {"info", {"URL"}, "show the plug-in's descriptor and the settings stored for URL", {}, true,
       "orvex info ftp://me@ftp.example.org/pub --password-stdin",
       "With connection options it also connects and tells how the server's listings give times,\n"
       "whether uploads keep the local file's time, and whether dot files are listed.",
       {"url"}},
      {"trust", {"URL"}, "show a server's TLS certificate and trust it for that server",
       {{"--yes", "", "trust without asking (needed without a terminal); never replaces a trusted one", ""}}, true,
       "orvex trust ftpes://ftp.example.org/",
       "Connects over TLS (ftps://, ftpes:// or --tls), shows the certificate and, once confirmed,\n"
       "stores its fingerprint as the one trusted for the server. A certificate other than the\n"
       "trusted one is refused from then on.",
       {"url"}},
      {"register", {}, "register the plug-in's class (needed once before anything else)", {}, false,
       "orvex register", "", {}},
      {"unregister", {}, "remove the plug-in's class from the class registry", {}, false, "orvex unregister", "",
       {}},
      {"properties", {"URL"}, "edit the stored settings of URL in the plug-in's dialog (needs a display)", {},
       false, "orvex properties ftp://ftp.example.org/pub", "", {"url"}},
      {"options", {}, "edit the plug-in's options in its dialog (needs a display)", {}, false, "orvex options",
       "", {}},
      {"about", {}, "show the plug-in's about box (needs a display)", {}, false, "orvex about", "", {}},
      {"help", {"[COMMAND]"}, "show the help of orvex or of one command", {}, false, "orvex help sync", "",
       {"command"}},
      {"completion", {"SHELL"}, "print the completion script for bash or zsh", {}, false,
       "orvex completion bash > ~/.local/share/bash-completion/completions/orvex", "", {"shell"}},
  };
  return commands;
}

const CommandInfo* FindCommand(const std::string& name) {
  for (const auto& command : Commands()) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

std::vector<OptionSpec> OptionSpecsOf(const CommandInfo& command) {
  std::vector<OptionSpec> specs;
  auto add = [&](const OptionInfo& option) {
    specs.push_back({option.name, !option.value_name.empty(), option.name == "--verbose" ? "-v" : ""});
  };
  for (const auto& option : command.options) add(option);
  if (command.connects) {
    for (const auto& option : ConnectionOptionTable()) add(option);
  }
  specs.push_back({"--help", false, "-h"});
  return specs;
}

std::size_t FewestOperands(const CommandInfo& command) {
  return static_cast<std::size_t>(std::count_if(command.operands.begin(), command.operands.end(),
                                                [](const std::string& operand) { return operand[0] != '['; }));
}

std::size_t MostOperands(const CommandInfo& command) { return command.operands.size(); }

std::string Synopsis(const CommandInfo& command) {
  std::string text = "orvex " + command.name;
  for (const auto& operand : command.operands) text += " " + operand;
  if (!command.options.empty() || command.connects) text += " [OPTIONS]";
  return text;
}

std::string GeneralHelp() {
  std::string text =
      "usage: orvex [--verbose] COMMAND [ARGUMENTS] [OPTIONS]\n"
      "       orvex --help | --version\n"
      "\n"
      "Lists, copies and synchronises folders on FTP servers through the OrvexFTP plug-in.\n"
      "\n"
      "Commands:\n";
  for (const auto& command : Commands()) {
    std::string label = command.name;
    for (const auto& operand : command.operands) label += " " + operand;
    text += "  " + Pad(label, 24) + command.summary + "\n";
  }
  text += "\nConnection options (" + CommandsThatConnect() + "):\n" + OptionLines(ConnectionOptionTable());
  text += "\nOther options:\n" + OptionLines({GlobalOptions()[0], GlobalOptions()[1]});
  text += std::string("\nURL: ") + kUrlForm +
          " (no password in it: use --password-stdin, ~/.netrc or the prompt)\n"
          "     ftpes:// for explicit TLS, ftps:// for implicit TLS (port 990)\n"
          "Environment: ftp_proxy, all_proxy (as curl), NETRC, ORVEX_FTP_TRACE\n"
          "Exit status: 0 done, 1 a transfer or the connection failed, 2 a wrong command line.\n"
          "\n"
          "Run 'orvex help COMMAND' for one command; the manual is orvex(1).\n";
  return text;
}

std::string CommandHelp(const CommandInfo& command) {
  std::string text = "usage: " + Synopsis(command) + "\n\n" + command.summary + "\n";
  if (!command.details.empty()) text += "\n" + command.details + "\n";
  if (!command.options.empty()) text += "\nOptions:\n" + OptionLines(command.options);
  if (command.connects) text += "\nConnection options:\n" + OptionLines(ConnectionOptionTable());
  if (command.connects) {
    text += std::string("\nURL: ") + kUrlForm + "\n     ftpes:// for explicit TLS, ftps:// for implicit TLS (port 990)\n";
  }
  text += "\nExample:\n  " + command.example + "\n";
  return text;
}

namespace {

std::string Join(const std::vector<std::string>& words) {
  std::string text;
  for (const auto& word : words) text += (text.empty() ? "" : " ") + word;
  return text;
}

std::vector<std::string> CommandNames() {
  std::vector<std::string> names;
  for (const auto& command : Commands()) names.push_back(command.name);
  return names;
}

std::vector<std::string> OptionNames(const CommandInfo& command) {
  std::vector<std::string> names;
  for (const auto& option : command.options) names.push_back(option.name);
  if (command.connects) {
    for (const auto& option : ConnectionOptionTable()) names.push_back(option.name);
  }
  names.push_back("--help");
  return names;
}

// The connection options that take a value not completed as `kind`, as a
// bash case pattern ("--user|--port|...").
std::string ValuesWithout(const std::string& kind) {
  std::string pattern;
  for (const auto& option : ConnectionOptionTable()) {
    if (option.value_name.empty() || option.completes == kind) continue;
    pattern += (pattern.empty() ? "" : "|") + option.name;
  }
  return pattern;
}

// A bash or zsh single-quoted word.
std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char character : text) {
    if (character == '\'') quoted += "'\\''";
    else quoted += character;
  }
  return quoted + "'";
}

}  // namespace

std::string BashCompletion() {
  std::string script =
      "# bash completion for orvex, made by 'orvex completion bash'.\n"
      "_orvex() {\n"
      "  local cur prev command i\n"
      "  COMPREPLY=()\n"
      "  cur=\"${COMP_WORDS[COMP_CWORD]}\"\n"
      "  prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
      "  command=\"\"\n"
      "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
      "    case \"${COMP_WORDS[i]}\" in\n"
      "      -*) ;;\n"
      "      *) command=\"${COMP_WORDS[i]}\"; break ;;\n"
      "    esac\n"
      "  done\n"
      "  if [[ -z \"$command\" ]]; then\n"
      "    if [[ \"$cur\" == -* ]]; then\n"
      "      COMPREPLY=($(compgen -W '--help --version --verbose -h -v' -- \"$cur\"))\n"
      "    else\n"
      "      COMPREPLY=($(compgen -W " + Quoted(Join(CommandNames())) + " -- \"$cur\"))\n"
      "    fi\n"
      "    return 0\n"
      "  fi\n"
      "  case \"$prev\" in\n"
      "    " + ValuesWithout("file") + ") return 0 ;;\n"
      "    --cacert) COMPREPLY=($(compgen -f -- \"$cur\")); return 0 ;;\n"
      "  esac\n"
      "  case \"$command\" in\n";
  for (const auto& command : Commands()) {
    script += "    " + command.name + ")\n";
    script += "      if [[ \"$cur\" == -* ]]; then\n";
    script += "        COMPREPLY=($(compgen -W " + Quoted(Join(OptionNames(command))) + " -- \"$cur\"))\n";
    script += "        return 0\n      fi\n";
    bool files = false, folders = false;
    for (const auto& kind : command.completes) {
      files |= kind == "file";
      folders |= kind == "folder";
    }
    if (command.name == "help") {
      script += "      COMPREPLY=($(compgen -W " + Quoted(Join(CommandNames())) + " -- \"$cur\"))\n";
    } else if (command.name == "completion") {
      script += "      COMPREPLY=($(compgen -W 'bash zsh' -- \"$cur\"))\n";
    } else if (files) {
      script += "      COMPREPLY=($(compgen -f -- \"$cur\"))\n";
    } else if (folders) {
      script += "      COMPREPLY=($(compgen -d -- \"$cur\"))\n";
    }
    script += "      ;;\n";
  }
  script +=
      "  esac\n"
      "  return 0\n"
      "}\n"
      "complete -o default -F _orvex orvex\n";
  return script;
}

std::string ZshCompletion() {
  std::string script =
      "#compdef orvex\n"
      "# zsh completion for orvex, made by 'orvex completion zsh'.\n"
      "\n"
      "_orvex() {\n"
      "  local -a commands\n"
      "  commands=(\n";
  for (const auto& command : Commands()) {
    std::string summary = command.summary;
    std::replace(summary.begin(), summary.end(), ':', ';');
    script += "    " + Quoted(command.name + ":" + summary) + "\n";
  }
  script +=
      "  )\n"
      "  local i command=''\n"
      "  for ((i = 2; i < CURRENT; i++)); do\n"
      "    if [[ $words[i] != -* ]]; then command=$words[i]; break; fi\n"
      "  done\n"
      "  if [[ -z $command ]]; then\n"
      "    if [[ $PREFIX == -* ]]; then\n"
      "      compadd -- --help --version --verbose -h -v\n"
      "    else\n"
      "      _describe -t commands 'orvex command' commands\n"
      "    fi\n"
      "    return\n"
      "  fi\n"
      "  # _arguments takes the first word for the command's name and numbers\n"
      "  # the operands after it: start the words at the command word.\n"
      "  words=(\"${(@)words[i,-1]}\")\n"
      "  (( CURRENT -= i - 1 ))\n"
      "  case $command in\n";
  for (const auto& command : Commands()) {
    script += "    " + command.name + ")\n      _arguments -s";
    std::vector<OptionInfo> options = command.options;
    if (command.connects) options.insert(options.end(), ConnectionOptionTable().begin(), ConnectionOptionTable().end());
    options.push_back({"--help", "", "show the command's help", ""});
    for (const auto& option : options) {
      std::string help = option.help;
      for (char& character : help) {
        if (character == ':' || character == '[' || character == ']') character = ' ';
      }
      std::string spec = option.name + "[" + help + "]";
      if (!option.value_name.empty()) {
        spec += ":" + option.value_name + ":" +
                (option.completes == "file" ? "_files" : option.completes == "folder" ? "_files -/" : " ");
      }
      script += " \\\n        " + Quoted(spec);
    }
    for (std::size_t index = 0; index < command.completes.size(); ++index) {
      const std::string& kind = command.completes[index];
      const std::string action = kind == "file"      ? "_files"
                                 : kind == "folder"  ? "_files -/"
                                 : kind == "command" ? "(" + Join(CommandNames()) + ")"
                                 : kind == "shell"   ? "(bash zsh)"
                                                     : " ";
      const bool optional = index < command.operands.size() && command.operands[index][0] == '[';
      script += " \\\n        " + Quoted(std::to_string(index + 1) + (optional ? "::" : ":") +
                                         (kind.empty() ? std::string("operand") : kind) + ":" + action);
    }
    script += "\n      ;;\n";
  }
  script +=
      "  esac\n"
      "}\n"
      "\n"
      "_orvex \"$@\"\n";
  return script;
}

}  // namespace orvex::cli
