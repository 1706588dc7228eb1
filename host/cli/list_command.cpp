// orvex ls URL [-l] [--json]: the folders, then the files, of a remote folder.
//
// Plain output: one name a line, folders with a closing "/"; control
// characters in names are shown escaped ("\x1b"), --json keeps them exact.
// -l: "d" or "-", size in bytes (folders "-"), modification time, name.
// --json: one object on one line, the form documented in the README:
//   {"location":"ftp://...","folders":[{"name":"...","modified":"YYYY-MM-DDTHH:MM:SS"}],
//    "files":[{"name":"...","size":N,"modified":"YYYY-MM-DDTHH:MM:SS"}]}
// Times are the plug-in's dates (local time, no zone). Entries are sorted by
// name (byte order) so that the output is stable between runs. What the
// server listed but no item can stand for (a name holding "/" or "\", a
// device or pipe) is named on standard error, never silently missing.

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <type_traits>

#include "host/cli/command_support.h"
#include "host/cli/commands.h"
#include "host/cli/json.h"
#include "platform/text/terminal_text.h"

namespace orvex::cli {
namespace {

// One entry as it is printed, read from its item once: sorting and printing
// a folder of a million entries then calls no item member again.
struct Row {
  std::string name;
  Date modified;
  std::uint64_t size = 0;
};

// The rows of `items`, each item let go once its row is made: rows take the
// items' place in memory instead of adding to them (the caller holds the
// only other reference once the cached listing is gone).
template <class Item>
std::vector<Row> RowsOf(std::vector<com::ComPtr<Item>>& items) {
  std::vector<Row> rows;
  rows.reserve(items.size());
  for (auto& item : items) {
    Row row{item->Name(), item->DateModified(), 0};
    if constexpr (std::is_same_v<Item, HostFile>) {
      row.size = static_cast<std::uint64_t>(std::max(0.0, item->Size()));
    }
    rows.push_back(std::move(row));
    item = nullptr;
  }
  return rows;
}

// Rows in name order. The rows themselves are sorted: comparing rows that
// lie side by side costs far fewer misses of the cache than following
// positions to rows all over a large listing.
void SortByName(std::vector<Row>& rows) {
  std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.name < b.name; });
}

void AppendDigits(std::string& out, int value, int width) {
  char digits[12];
  int count = 0;
  unsigned magnitude = static_cast<unsigned>(value < 0 ? 0 : value);
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude > 0);
  for (int pad = count; pad < width; ++pad) out += '0';
  while (count > 0) out += digits[--count];
}

// YYYY-MM-DDTHH:MM:SS
void AppendDate(std::string& out, Date date) {
  const CalendarTime time = date.ToCalendar();
  AppendDigits(out, time.year, 4);
  out += '-';
  AppendDigits(out, time.month, 2);
  out += '-';
  AppendDigits(out, time.day, 2);
  out += 'T';
  AppendDigits(out, time.hour, 2);
  out += ':';
  AppendDigits(out, time.minute, 2);
  out += ':';
  AppendDigits(out, time.second, 2);
}

std::string FormatDate(Date date) {
  std::string text;
  AppendDate(text, date);
  return text;
}

// Output gathered in pieces of about this size, so that printing a large
// listing needs neither a write per entry nor the whole text in memory.
constexpr std::size_t kOutputChunk = 64 * 1024;

void FlushIfFull(std::string& out, bool force = false) {
  if (out.size() < kOutputChunk && !force) return;
  std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
  out.clear();
}

}  // namespace

int ListCommand(const Arguments& arguments) {
  const auto parsed = ParseCommand(arguments, "ls");
  if (!parsed) return kUsage;
  const auto url = ReadUrl(parsed->operands[0]);
  if (!url) return kUsage;
  int status = kSuccess;
  auto session = OpenSession(*url, *parsed, status);
  if (!session) return status;

  auto listing = session->List(session->location());
  if (!listing) return Problem(session->LastError());
  session->ForgetListing(session->location());
  auto folder_rows = RowsOf(listing->folders);
  auto file_rows = RowsOf(listing->files);
  const auto left_out = std::move(listing->left_out);
  listing.reset();
  SortByName(folder_rows);
  SortByName(file_rows);

  std::string out;
  out.reserve(kOutputChunk + 4096);
  if (parsed->Has("--json")) {
    out += "{\"location\":";
    AppendJsonString(out, session->location());
    out += ",\"folders\":[";
    for (std::size_t index = 0; index < folder_rows.size(); ++index) {
      if (index > 0) out += ',';
      out += "{\"name\":";
      AppendJsonString(out, folder_rows[index].name);
      out += ",\"modified\":\"";
      AppendDate(out, folder_rows[index].modified);
      out += "\"}";
      FlushIfFull(out);
    }
    out += "],\"files\":[";
    for (std::size_t index = 0; index < file_rows.size(); ++index) {
      if (index > 0) out += ',';
      out += "{\"name\":";
      AppendJsonString(out, file_rows[index].name);
      out += ",\"size\":";
      out += std::to_string(file_rows[index].size);
      out += ",\"modified\":\"";
      AppendDate(out, file_rows[index].modified);
      out += "\"}";
      FlushIfFull(out);
    }
    out += "]}\n";
  } else if (parsed->Has("-l")) {
    char line[64];
    for (std::size_t index = 0; index < folder_rows.size(); ++index) {
      const Row& folder = folder_rows[index];
      std::snprintf(line, sizeof line, "d %15s %s ", "-", FormatDate(folder.modified).c_str());
      out += line;
      out += text::TerminalSafe(folder.name);
      out += "/\n";
      FlushIfFull(out);
    }
    for (std::size_t index = 0; index < file_rows.size(); ++index) {
      const Row& file = file_rows[index];
      std::snprintf(line, sizeof line, "- %15llu %s ", static_cast<unsigned long long>(file.size),
                    FormatDate(file.modified).c_str());
      out += line;
      out += text::TerminalSafe(file.name);
      out += '\n';
      FlushIfFull(out);
    }
  } else {
    for (std::size_t index = 0; index < folder_rows.size(); ++index) {
      const Row& folder = folder_rows[index];
      out += text::TerminalSafe(folder.name);
      out += "/\n";
      FlushIfFull(out);
    }
    for (std::size_t index = 0; index < file_rows.size(); ++index) {
      const Row& file = file_rows[index];
      out += text::TerminalSafe(file.name);
      out += '\n';
      FlushIfFull(out);
    }
  }
  FlushIfFull(out, true);
  std::cout.flush();
  for (const auto& entry : left_out) {
    std::cerr << "orvex: not shown: " << text::TerminalSafe(entry.name) << (entry.folder ? "/" : "") << " ("
              << (entry.special ? "a device, socket or pipe"
                                : "the name holds \"/\", \"\\\" or NUL, or is too long")
              << ")\n";
  }
  return kSuccess;  // a failed write of standard output is found and said by main
}

}  // namespace orvex::cli
