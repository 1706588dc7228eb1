// Parsing a command's options.

#include "host/cli/arguments.h"

#include <algorithm>

namespace orvex::cli {

std::optional<std::string> ParsedArguments::Value(const std::string& name) const {
  const auto found = values.find(name);
  if (found == values.end()) return std::nullopt;
  return found->second;
}

std::optional<ParsedArguments> ParseArguments(const std::vector<std::string>& arguments,
                                              const std::vector<OptionSpec>& allowed, std::string& error) {
  ParsedArguments parsed;
  bool options_ended = false;
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    const std::string& argument = arguments[index];
    if (options_ended || argument.size() < 2 || argument[0] != '-') {
      parsed.operands.push_back(argument);
      continue;
    }
    if (argument == "--") {
      options_ended = true;
      continue;
    }
    const auto equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    const auto spec = std::find_if(allowed.begin(), allowed.end(),
                                   [&](const OptionSpec& option) {
                                     return option.name == name || (!option.alias.empty() && option.alias == name);
                                   });
    if (spec == allowed.end()) {
      error = "unknown option " + name;
      if (name == "--password" || name == "-p") {
        error += " (a password never goes on the command line: use --password-stdin or ~/.netrc)";
      }
      return std::nullopt;
    }
    if (!spec->takes_value) {
      if (equals != std::string::npos) {
        error = "option " + name + " takes no value";
        return std::nullopt;
      }
      parsed.flags.insert(spec->name);
    } else if (equals != std::string::npos) {
      parsed.values[spec->name] = argument.substr(equals + 1);
      parsed.in_order.emplace_back(spec->name, parsed.values[spec->name]);
    } else if (index + 1 < arguments.size()) {
      parsed.values[spec->name] = arguments[++index];
      parsed.in_order.emplace_back(spec->name, parsed.values[spec->name]);
    } else {
      error = "option " + name + " needs a value";
      return std::nullopt;
    }
  }
  return parsed;
}

}  // namespace orvex::cli
