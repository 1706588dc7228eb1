#pragma once
// --exclude and --include rules of a synchronisation, in the manner of rsync
// and rclone.
//
// Rules are tried in the order given; the first whose pattern matches decides
// (--exclude leaves the item out, --include keeps it); an item no rule
// matches is kept. Patterns are globs on the item's path relative to the
// synchronised folder, with "/" between names:
//   *      any run of characters within one name (never "/")
//   **     any run of characters, "/" included (across folders)
//   ?      one character other than "/"
//   [abc] [a-z] [!a-z]  one character of (or not of) the set
//   \c     the character c itself
// A pattern with no "/" (other than a final one) matches the item's name at
// any depth ("*.tmp"); one with a "/" matches the whole relative path from
// the top ("build/*.o", "/cache", "docs/**/draft*"); a leading "/" only
// anchors. A pattern ending in "/" matches folders only.
//
// An item left out is neither copied nor deleted on either side, and a left
// out folder is not entered, so nothing below it is touched either.

#include <optional>
#include <string>
#include <vector>

namespace orvex::cli {

class SyncFilter {
 public:
  // Adds a rule; nullopt on success, else why the pattern is not usable.
  std::optional<std::string> Add(bool include, const std::string& pattern);

  bool empty() const { return rules_.empty(); }
  // `path`: relative, "/"-separated, without a closing "/".
  bool Excluded(const std::string& path, bool folder) const;

 private:
  struct Rule {
    bool include = false;
    bool folders_only = false;
    bool whole_path = false;
    std::string glob;
  };
  std::vector<Rule> rules_;
};

// Glob matching as described above, on the whole of `text`.
bool GlobMatches(const std::string& glob, const std::string& text);

}  // namespace orvex::cli
