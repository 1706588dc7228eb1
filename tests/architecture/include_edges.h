#pragma once
// The arrows between the code base's folders, as a table, and the check of one
// `#include "..."` against it. The test walks the source tree with it, so an
// include that crosses an arrow the wrong way fails the suite.

#include <string>
#include <string_view>

namespace orvex::architecture {

// The folder a source path belongs to: the longest known folder that
// prefixes it ("platform/inet/reply.h" -> "platform/inet", "host/cli/main.cpp"
// -> "host/cli"). Empty for a path outside every known folder (a generated
// header such as "ui_frmAbout.h").
std::string FolderOf(std::string_view path);

// Whether a file at `from` (a path relative to the source root) may include
// the header `included` (as written between the quotes; a path with "." or
// ".." is taken from the including file's folder, as the compiler takes it).
bool MayInclude(std::string_view from, std::string_view included);

}  // namespace orvex::architecture
