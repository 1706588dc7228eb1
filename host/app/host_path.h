#pragma once
// Host paths as the folder cache compares them.
//
// A host path such as "ftp://server\pub/docs\" names a remote folder. The
// cache treats "/" and "\" as the same separator, a run of separators as one,
// and ignores separators at the end, so "ftp://server/pub/docs" and
// "ftp:\\server\pub\docs\" name the same folder. Letter case is kept and
// compared exactly: FTP servers are case-sensitive, so "Docs" and "docs" are
// two folders.

#include <string>
#include <string_view>

namespace orvex::hostapp {

// The comparable form of a host path: separators become "\", runs of them
// collapse to one, trailing ones are dropped. "/" alone gives "".
std::string CacheKey(std::string_view path);

// The key of the folder that holds `key` (everything before its last
// separator), or "" when `key` has no separator. `key` must be a CacheKey.
std::string ParentKey(std::string_view key);

// The last component of `key` (everything after its last separator).
std::string LastComponent(std::string_view key);

// True when `key` is `folder` or lies anywhere below it. "dir\sub" is below
// "dir"; "dir2" is not. Every key lies below "". Both must be CacheKeys.
bool IsSameOrBelow(std::string_view key, std::string_view folder);

}  // namespace orvex::hostapp
