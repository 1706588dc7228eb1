#pragma once
// Splitting a command's arguments into options and operands.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace orvex::cli {

struct OptionSpec {
  OptionSpec(std::string option_name, bool option_takes_value = false, std::string option_alias = "")
      : name(std::move(option_name)), takes_value(option_takes_value), alias(std::move(option_alias)) {}

  std::string name;  // "--user", "-l"
  bool takes_value = false;
  std::string alias;  // another spelling ("-v" for "--verbose"), recorded under `name`
};

struct ParsedArguments {
  std::vector<std::string> operands;
  std::map<std::string, std::string> values;  // options with a value, the last one given wins
  std::set<std::string> flags;                // options without a value
  // Every option with a value as given, in order (for options that may be
  // repeated and whose order matters, such as --exclude and --include).
  std::vector<std::pair<std::string, std::string>> in_order;

  bool Has(const std::string& name) const { return flags.count(name) > 0 || values.count(name) > 0; }
  std::optional<std::string> Value(const std::string& name) const;
};

// Options may come anywhere among the operands; a value follows its option
// as the next argument or after "=" ("--port 21", "--port=21"). "--" ends the
// options. nullopt with `error` set for an option not in `allowed`, a missing
// value, or a value given to an option that takes none.
std::optional<ParsedArguments> ParseArguments(const std::vector<std::string>& arguments,
                                              const std::vector<OptionSpec>& allowed, std::string& error);

}  // namespace orvex::cli
