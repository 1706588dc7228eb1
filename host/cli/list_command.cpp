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

#include "host/cli/command_support.h"
#include "host/cli/commands.h"
#include "host/cli/json.h"
#include "platform/text/terminal_text.h"

namespace orvex::cli {
namespace {

std::string FormatDate(Date date) {
  const CalendarTime time = date.ToCalendar();
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", time.year, time.month, time.day, time.hour,
                time.minute, time.second);
  return text;
}

template <class Item>
void SortByName(std::vector<com::ComPtr<Item>>& items) {
  std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a->Name() < b->Name(); });
}

std::string SizeText(double size) { return std::to_string(static_cast<std::uint64_t>(std::max(0.0, size))); }

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
  SortByName(listing->folders);
  SortByName(listing->files);

  if (parsed->Has("--json")) {
    std::string json = "{\"location\":" + JsonString(session->location()) + ",\"folders\":[";
    for (std::size_t index = 0; index < listing->folders.size(); ++index) {
      const auto& folder = listing->folders[index];
      if (index > 0) json += ",";
      json += "{\"name\":" + JsonString(folder->Name()) + ",\"modified\":\"" + FormatDate(folder->DateModified()) +
              "\"}";
    }
    json += "],\"files\":[";
    for (std::size_t index = 0; index < listing->files.size(); ++index) {
      const auto& file = listing->files[index];
      if (index > 0) json += ",";
      json += "{\"name\":" + JsonString(file->Name()) + ",\"size\":" + SizeText(file->Size()) +
              ",\"modified\":\"" + FormatDate(file->DateModified()) + "\"}";
    }
    std::cout << json << "]}\n";
  } else if (parsed->Has("-l")) {
    char line[64];
    for (const auto& folder : listing->folders) {
      std::snprintf(line, sizeof line, "d %15s %s ", "-", FormatDate(folder->DateModified()).c_str());
      std::cout << line << text::TerminalSafe(folder->Name()) << "/\n";
    }
    for (const auto& file : listing->files) {
      std::snprintf(line, sizeof line, "- %15s %s ", SizeText(file->Size()).c_str(),
                    FormatDate(file->DateModified()).c_str());
      std::cout << line << text::TerminalSafe(file->Name()) << "\n";
    }
  } else {
    for (const auto& folder : listing->folders) std::cout << text::TerminalSafe(folder->Name()) << "/\n";
    for (const auto& file : listing->files) std::cout << text::TerminalSafe(file->Name()) << "\n";
  }
  for (const auto& entry : listing->left_out) {
    std::cerr << "orvex: not shown: " << text::TerminalSafe(entry.name) << (entry.folder ? "/" : "") << " ("
              << (entry.special ? "a device, socket or pipe"
                                : "the name holds \"/\", \"\\\" or NUL, or is too long")
              << ")\n";
  }
  return kSuccess;
}

}  // namespace orvex::cli
