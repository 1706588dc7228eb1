#include "tests/architecture/include_edges.h"

#include <algorithm>
#include <array>
#include <filesystem>

namespace orvex::architecture {
namespace {

constexpr std::array<std::string_view, 18> kFolders = {
    "connection/host", "connection",    "ftp",           "encoding",
    "dialogs",         "resources",     "platform/com",  "platform/inet",
    "platform/script", "platform/text", "platform/win32", "platform",
    "host/objects",    "host/app",      "host/cli",      "tools",
    "tests",           "bench"};

// What each folder may use besides itself. "platform*" stands for every
// platform folder; `platform/inet` is reached from above it only through the
// headers that declare the WinInet-shaped API (wininet.h, and
// wininet_security.h for its FTP over TLS additions).
struct Edge {
  std::string_view from;
  std::string_view to;
};
constexpr std::array<std::string_view, 2> kWinInetApi = {"platform/inet/wininet.h",
                                                        "platform/inet/wininet_security.h"};
constexpr std::array<Edge, 25> kAllowed = {{
    {"platform", "platform*"},
    {"connection/host", "platform*"},
    {"encoding", "platform*"},
    {"resources", "platform*"},
    {"host/objects", "connection/host"},
    {"host/objects", "platform*"},
    {"host/app", "host/objects"},
    {"host/app", "connection/host"},
    {"host/app", "platform*"},
    {"host/cli", "host/app"},
    {"host/cli", "connection/host"},
    {"host/cli", "platform*"},
    {"host/cli", "resources"},  // the version it prints
    {"ftp", "connection/host"},
    {"ftp", "resources"},
    {"ftp", "platform*"},
    {"dialogs", "connection/host"},
    {"dialogs", "resources"},
    {"dialogs", "platform*"},
    {"connection", "connection/host"},
    {"connection", "ftp"},
    {"connection", "encoding"},
    {"connection", "dialogs"},
    {"connection", "resources"},
    {"connection", "platform*"},
}};

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool IsPlatform(std::string_view folder) { return StartsWith(folder, "platform"); }

// Tools, tests and benchmarks stand outside the product and may use any of it.
bool UsesAnything(std::string_view folder) {
  return folder == "tools" || folder == "tests" || folder == "bench";
}

// The path from the source root of a header written relative to the
// including file ("../platform/inet/reply.h" from "ftp/cxFTP.cpp"): the
// compiler looks beside the including file first, past every include path.
std::string Resolved(std::string_view from, std::string_view included) {
  const bool relative = StartsWith(included, "./") || StartsWith(included, "../") ||
                        included.find("/./") != std::string_view::npos ||
                        included.find("/../") != std::string_view::npos;
  if (!relative) return std::string(included);
  const std::filesystem::path beside = std::filesystem::path(from).parent_path() / included;
  return beside.lexically_normal().generic_string();
}

}  // namespace

std::string FolderOf(std::string_view path) {
  for (std::string_view folder : kFolders) {  // longer folders come first
    if (StartsWith(path, folder) && path.size() > folder.size() &&
        path[folder.size()] == '/') {
      return std::string(folder);
    }
  }
  return {};
}

bool MayInclude(std::string_view from, std::string_view written) {
  const std::string resolved = Resolved(from, written);
  const std::string_view included = resolved;
  const std::string source = FolderOf(from);
  const std::string target = FolderOf(included);
  if (target.empty() || source == target || UsesAnything(source)) return true;
  if (source.empty()) return false;
  // The engine's own folders use each other freely; nothing above the
  // platform layer sees past the API's header into the engine.
  if (target == "platform/inet" && !IsPlatform(source)) {
    const bool api = std::find(kWinInetApi.begin(), kWinInetApi.end(), included) != kWinInetApi.end();
    return api && (source == "ftp" || source == "connection");
  }
  return std::any_of(kAllowed.begin(), kAllowed.end(), [&](const Edge& edge) {
    const std::string_view source_rule = IsPlatform(source) ? "platform" : std::string_view(source);
    if (edge.from != source_rule) return false;
    return edge.to == target || (edge.to == "platform*" && IsPlatform(target));
  });
}

}  // namespace orvex::architecture
