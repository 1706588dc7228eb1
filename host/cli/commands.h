#pragma once
// The commands of `orvex` that talk to a server. Each takes the arguments
// after its command word and returns the exit status (exit_status.h: 0
// success, 1 an item or the connection failed, 2 a wrong command line).

#include <string>
#include <vector>

#include "host/cli/arguments.h"

namespace orvex::cli {

using Arguments = std::vector<std::string>;
using Command = int (*)(const Arguments& arguments);

// The command called `name`, or null when it is none of these.
Command FindRemoteCommand(const std::string& name);

int ListCommand(const Arguments& arguments);          // ls URL [-l] [--json]
int GetCommand(const Arguments& arguments);           // get URL [LOCAL]
int PutCommand(const Arguments& arguments);           // put LOCAL URL
int MakeFolderCommand(const Arguments& arguments);    // mkdir URL
int RemoveFileCommand(const Arguments& arguments);    // rm URL
int RemoveFolderCommand(const Arguments& arguments);  // rmdir URL
int RenameCommand(const Arguments& arguments);        // mv URL NEWNAME
int SyncCommand(const Arguments& arguments);          // sync LOCALDIR URL --up|--down ...
// info URL with connection options: connects and tells how the server's
// listings give times and dot files and whether uploads get their times.
int ServerInfo(const ParsedArguments& parsed);
int TrustCommand(const Arguments& arguments);         // trust URL [--yes]

}  // namespace orvex::cli
