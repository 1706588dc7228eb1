#pragma once
// TranslationTable: English texts and their translations, and the filling in
// of "%1", "%2", "%3" placeholders.
//
// File format (UTF-8, one entry per line):
//
//   # a comment line
//   Connection to %1 failed: %2<TAB>Verbindung zu %1 fehlgeschlagen: %2
//
// The English text and its translation are separated by the first TAB.
// Inside either, "\t" stands for a TAB, "\n" for a line break and "\\" for a
// backslash; any other backslash is kept as it is. Empty lines and lines
// starting with "#" are skipped. A trailing CR (a file saved with CRLF line
// ends) is ignored. A later entry for the same English text replaces an
// earlier one.

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orvex::hostapp {

class TranslationTable {
 public:
  // An empty table: every text translates to itself.
  TranslationTable() = default;

  // Reads the table from `file`. Raises orvex::Error 53 when the file cannot
  // be read and 5 for a line without a TAB, naming the file and the line.
  static TranslationTable Load(const std::filesystem::path& file);

  // A table that translates every text into itself between "«" and "»"
  // ("Connect" becomes "«Connect»", placeholders are kept): whoever reads
  // the result sees at a glance which texts went through the translation and
  // which did not, without a list of them.
  static TranslationTable MarkingEveryText();

  // The translation of `text`, or `text` itself when the table has none.
  std::string Lookup(const std::string& text) const;
  std::size_t size() const { return entries_.size(); }

 private:
  std::unordered_map<std::string, std::string> entries_;
  bool mark_every_text_ = false;
};

// `text` with every "%1", "%2" and "%3" replaced by the parameter of that
// position; a placeholder without a parameter becomes empty. Parameters are
// inserted as they are and never searched for placeholders themselves, so a
// parameter containing "%2" stays "%2". Any other "%" is kept.
std::string FillPlaceholders(std::string_view text, const std::vector<std::string>& parameters);

}  // namespace orvex::hostapp
