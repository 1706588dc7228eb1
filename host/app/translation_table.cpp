#include "host/app/translation_table.h"

#include <fstream>

#include "platform/error.h"

namespace orvex::hostapp {
namespace {

std::string Unescape(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[i + 1];
      if (next == 't' || next == 'n' || next == '\\') {
        result += next == 't' ? '\t' : next == 'n' ? '\n' : '\\';
        ++i;
        continue;
      }
    }
    result += text[i];
  }
  return result;
}

}  // namespace

TranslationTable TranslationTable::Load(const std::filesystem::path& file) {
  std::ifstream input(file, std::ios::binary);
  if (!input) Raise(error_number::kFileNotFound, "Cannot read the translation table " + file.string());
  TranslationTable table;
  std::string line;
  for (int number = 1; std::getline(input, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.front() == '#') continue;
    const auto tab = line.find('\t');
    if (tab == std::string::npos) {
      Raise(error_number::kInvalidProcedureCall, "Translation table " + file.string() + ", line " +
                                                     std::to_string(number) + ": no TAB between the text and its translation");
    }
    table.entries_.insert_or_assign(Unescape(std::string_view(line).substr(0, tab)),
                                    Unescape(std::string_view(line).substr(tab + 1)));
  }
  if (input.bad()) Raise(error_number::kFileNotFound, "Cannot read the translation table " + file.string());
  return table;
}

TranslationTable TranslationTable::MarkingEveryText() {
  TranslationTable table;
  table.mark_every_text_ = true;
  return table;
}

std::string TranslationTable::Lookup(const std::string& text) const {
  if (mark_every_text_) return "\xC2\xAB" + text + "\xC2\xBB";  // UTF-8 « and »
  auto found = entries_.find(text);
  return found == entries_.end() ? text : found->second;
}

std::string FillPlaceholders(std::string_view text, const std::vector<std::string>& parameters) {
  std::string result;
  result.reserve(text.size());
  // One pass over the text only: what a parameter brings in is never looked
  // at again.
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '3') {
      const auto index = static_cast<std::size_t>(text[i + 1] - '1');
      if (index < parameters.size()) result += parameters[index];
      ++i;
    } else {
      result += text[i];
    }
  }
  return result;
}

}  // namespace orvex::hostapp
