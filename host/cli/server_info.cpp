// What `orvex info` tells about the server behind a location: how its
// listings give times and names, and whether uploads get their times.

#include <iostream>

#include "host/cli/command_support.h"
#include "host/cli/commands.h"

namespace orvex::cli {

int ServerInfo(const ParsedArguments& parsed) {
  const auto url = ReadUrl(parsed.operands[0]);
  if (!url) return kUsage;
  int status = kSuccess;
  auto options = ReadOptions(*url, parsed, status);
  if (!options) return status;
  auto session = OpenSession(*url, *options, status);
  if (!session) return status;
  // The listing settles what the server's listings can do.
  const auto listing = session->List(session->location());
  if (!listing) {
    return Problem(session->LastError());
  }
  _Connection& connection = session->connection();
  const std::int32_t traits = connection.ServerTraits();
  const std::string offset = connection.ListingTimeOffset();
  const bool stored_offset = !connection.ServerTimeOffset().empty() && !offset.empty();

  std::cout << "Server listing: "
            << ((traits & _Connection::kServerListsSeconds) ? "MLSD (UTC times with seconds)"
                                                            : "LIST (times in whole minutes)")
            << "\n";
  std::cout << "Server times:   ";
  if (stored_offset) {
    std::cout << "taken as UTC" << offset << " (the configured server time offset)\n";
  } else if (traits & _Connection::kServerListsSeconds) {
    std::cout << "UTC, shown as local times\n";
  } else if (!offset.empty()) {
    std::cout << "listed at UTC" << offset << " (learnt from MDTM), shown as local times\n";
  } else if (traits & _Connection::kServerGivesFileTimes) {
    std::cout << "time zone not learnt yet (no file listed here); shown as the server lists them\n";
  } else {
    std::cout << "shown as the server lists them: it offers no MDTM to learn its time zone"
                 " (--server-time-offset sets it)\n";
  }
  std::cout << "Upload times:   "
            << ((traits & _Connection::kServerSetsFileTimes)   ? "set to the local file's time (MFMT)"
                : (traits & _Connection::kServerGivesFileTimes) ? "set to the local file's time where the server"
                                                                  " takes \"MDTM time path\" (tried at the first upload)"
                                                                : "the server's clock: it offers neither MFMT nor MDTM")
            << "\n";
  std::cout << "Dot files:      "
            << ((traits & _Connection::kServerListsHiddenFiles)
                    ? "listed"
                    : "may be hidden: the server's listing may leave them out, so a sync"
                      " reports them as not verifiable")
            << "\n";
  return kSuccess;
}

}  // namespace orvex::cli
