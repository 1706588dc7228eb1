#pragma once
// The path splitting of the scripting runtime's FileSystemObject, for host
// paths and server paths alike: "\" and "/" both separate components, and
// separators at the end of a path are ignored.
//
//   GetFileName("ftp://server\pub\a.txt")       -> "a.txt"
//   GetFileName("ftp://server/pub/")            -> "pub"
//   GetParentFolderName("ftp://server\pub")     -> "ftp://server"
//   GetParentFolderName("ftp://server")         -> "ftp:"
//   GetParentFolderName("name")                 -> ""
//   GetExtensionName("archive.tar.gz")          -> "gz"
//   GetExtensionName("README")                  -> ""
//
// Only the text is examined; nothing touches a file system.

#include <string>
#include <string_view>

namespace orvex::script {

class FileSystemObject {
 public:
  // The last component.
  std::string GetFileName(std::string_view path) const;
  // The text after the last dot of the last component; empty without a dot.
  std::string GetExtensionName(std::string_view path) const;
  // The path without its last component and without the separators before it.
  std::string GetParentFolderName(std::string_view path) const;
};

}  // namespace orvex::script
