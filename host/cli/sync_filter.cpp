// The include and exclude rules of a synchronisation.

#include "host/cli/sync_filter.h"

namespace orvex::cli {
namespace {

// Matches one bracket expression at glob[g] (just after "[") against c.
// Sets `end` to the position after "]"; false in `valid` when unclosed.
bool MatchSet(const std::string& glob, std::size_t g, char c, std::size_t& end, bool& valid) {
  bool negate = false;
  if (g < glob.size() && (glob[g] == '!' || glob[g] == '^')) {
    negate = true;
    ++g;
  }
  bool matched = false;
  bool first = true;
  while (g < glob.size() && (first || glob[g] != ']')) {
    first = false;
    char low = glob[g];
    if (low == '\\' && g + 1 < glob.size()) low = glob[++g];
    char high = low;
    if (g + 2 < glob.size() && glob[g + 1] == '-' && glob[g + 2] != ']') {
      high = glob[g + 2];
      if (high == '\\' && g + 3 < glob.size()) {
        high = glob[g + 3];
        ++g;
      }
      g += 2;
    }
    if (c >= low && c <= high) matched = true;
    ++g;
  }
  valid = g < glob.size();
  end = g + 1;
  return valid && matched != negate && c != '/';
}

bool Match(const std::string& glob, std::size_t g, const std::string& text, std::size_t t) {
  while (g < glob.size()) {
    const char p = glob[g];
    if (p == '*') {
      const bool across = g + 1 < glob.size() && glob[g + 1] == '*';
      std::size_t next = g + (across ? 2 : 1);
      // "**/" also matches no folder at all: "a/**/b" matches "a/b".
      if (across && next < glob.size() && glob[next] == '/' && Match(glob, next + 1, text, t)) return true;
      for (std::size_t end = t;; ++end) {
        if (Match(glob, next, text, end)) return true;
        if (end == text.size() || (!across && text[end] == '/')) return false;
      }
    }
    if (t == text.size()) return false;
    if (p == '?') {
      if (text[t] == '/') return false;
    } else if (p == '[') {
      std::size_t end = 0;
      bool valid = true;
      if (!MatchSet(glob, g + 1, text[t], end, valid)) return false;
      g = end;
      ++t;
      continue;
    } else {
      char literal = p;
      if (p == '\\' && g + 1 < glob.size()) literal = glob[++g];
      if (text[t] != literal) return false;
    }
    ++g;
    ++t;
  }
  return t == text.size();
}

std::string LastName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool GlobMatches(const std::string& glob, const std::string& text) { return Match(glob, 0, text, 0); }

std::optional<std::string> SyncFilter::Add(bool include, const std::string& pattern) {
  Rule rule;
  rule.include = include;
  std::string glob = pattern;
  if (!glob.empty() && glob.back() == '/') {
    rule.folders_only = true;
    while (!glob.empty() && glob.back() == '/') glob.pop_back();
  }
  if (!glob.empty() && glob.front() == '/') {
    rule.whole_path = true;
    glob.erase(0, glob.find_first_not_of('/'));
  }
  if (glob.empty()) return "an empty pattern matches nothing: '" + pattern + "'";
  if (glob.find('/') != std::string::npos) rule.whole_path = true;
  // An unclosed "[" is a mistake, not a literal: say so rather than never match.
  for (std::size_t index = 0; index < glob.size(); ++index) {
    if (glob[index] == '\\') {
      ++index;
      continue;
    }
    if (glob[index] == '[') {
      std::size_t end = 0;
      bool valid = true;
      MatchSet(glob, index + 1, 'a', end, valid);
      if (!valid) return "unclosed \"[\" in the pattern '" + pattern + "'";
      index = end - 1;
    }
  }
  rule.glob = std::move(glob);
  rules_.push_back(std::move(rule));
  return std::nullopt;
}

bool SyncFilter::Excluded(const std::string& path, bool folder) const {
  for (const auto& rule : rules_) {
    if (rule.folders_only && !folder) continue;
    const bool matched = rule.whole_path ? GlobMatches(rule.glob, path) : GlobMatches(rule.glob, LastName(path));
    if (matched) return !rule.include;
  }
  return false;
}

}  // namespace orvex::cli
