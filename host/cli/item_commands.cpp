// orvex get, put, mkdir, rm, rmdir, mv: one remote item each. The plug-in is
// initialised for the item's folder, so connecting already proves that the
// folder exists.

#include <iostream>

#include "connection/host/host_objects.h"
#include "host/cli/command_support.h"
#include "host/cli/commands.h"
#include "host/cli/interrupts.h"
#include "host/cli/transfer.h"
#include "platform/text/terminal_text.h"

namespace orvex::cli {
namespace {

// The URL of an item (not the server root); nullopt after a usage error.
std::optional<RemoteUrl> ReadItemUrl(const std::string& text) {
  auto url = ReadUrl(text);
  if (url && url->names.empty()) {
    UsageError("the URL names no file or folder: " + text);
    return std::nullopt;
  }
  return url;
}

// A session at the item's folder; null after printing why.
std::unique_ptr<RemoteSession> OpenAtParent(const RemoteUrl& item, const ParsedArguments& arguments, int& status) {
  return OpenSession(item.Parent(), arguments, status);
}

int Report(RemoteSession& session) { return Problem(session.LastError()); }

// A transfer that did not complete: its reason, and the status that says
// whether a signal stopped it.
int TransferFailed(const TransferResult& result) {
  Problem(result.error);
  return result.interrupted ? InterruptExitStatus() : kFailure;
}

template <class Item>
com::ComPtr<Item> FindByName(const std::vector<com::ComPtr<Item>>& items, const std::string& name) {
  for (const auto& item : items) {
    if (item->Name() == name) return item;
  }
  return {};
}

}  // namespace

int GetCommand(const Arguments& arguments) {
  const auto parsed = ParseCommand(arguments, {}, 1, 2);
  if (!parsed) return kUsage;
  const auto url = ReadItemUrl(parsed->operands[0]);
  if (!url) return kUsage;
  std::filesystem::path target = parsed->operands.size() > 1 ? parsed->operands[1] : url->Name();
  std::error_code error;
  if (std::filesystem::is_directory(target, error)) target /= url->Name();

  int status = kSuccess;
  auto session = OpenAtParent(*url, *parsed, status);
  if (!session) return status;
  CatchInterrupts();
  // The listing says whether the file exists and how many bytes to read;
  // a file the server does not list is an error, never an empty download.
  auto listing = session->List(session->location());
  if (!listing) return Report(*session);
  auto file = FindByName(listing->files, url->Name());
  if (!file) return Problem("no such file: " + parsed->operands[0]);
  const auto result = DownloadFile(session->plugin(), file, target, {});
  if (!result.ok) return TransferFailed(result);
  std::cout << "downloaded " << text::TerminalSafe(target.string()) << " (" << result.bytes << " bytes)\n";
  return kSuccess;
}

int PutCommand(const Arguments& arguments) {
  const auto parsed = ParseCommand(arguments, {}, 2, 2);
  if (!parsed) return kUsage;
  const std::filesystem::path source = parsed->operands[0];
  const std::string& text = parsed->operands[1];
  auto url = ReadUrl(text);
  if (!url) return kUsage;
  const std::string source_name = source.filename().string();
  // A URL ending in "/" (or the server root) names the folder to put the
  // file into; otherwise it names the file, unless a folder of that name
  // exists (looked up below).
  const bool names_folder = text.back() == '/' || url->names.empty();
  if (names_folder) url->names.push_back(source_name);
  if (url->Name().find('\\') != std::string::npos) {
    return UsageError("a name with \"\\\" cannot be sent to the server: " + url->Name());
  }
  std::error_code error;
  if (!std::filesystem::is_regular_file(source, error)) return Problem("not a readable file: " + source.string());

  int status = kSuccess;
  auto session = OpenAtParent(*url, *parsed, status);
  if (!session) return status;
  CatchInterrupts();
  std::vector<std::string> names = {url->Name()};
  if (!names_folder) {
    auto listing = session->List(session->location());
    if (!listing) return Report(*session);
    if (FindByName(listing->folders, url->Name())) {
      if (source_name.find('\\') != std::string::npos) {
        return UsageError("a name with \"\\\" cannot be sent to the server: " + source_name);
      }
      names.push_back(source_name);
      url->names.push_back(source_name);
    }
  }
  const auto result = UploadFile(session->plugin(), source, session->PathOf(names), {});
  if (!result.ok) return TransferFailed(result);
  std::cout << "uploaded " << text::TerminalSafe(url->Location()) << " (" << result.bytes << " bytes)\n";
  return kSuccess;
}

// The single-operand commands: parse, connect at the item's parent folder,
// then act on the item.
template <class Action>
int OnItem(const Arguments& arguments, Action action) {
  const auto parsed = ParseCommand(arguments, {}, 1, 1);
  if (!parsed) return kUsage;
  const auto url = ReadItemUrl(parsed->operands[0]);
  if (!url) return kUsage;
  int status = kSuccess;
  auto session = OpenAtParent(*url, *parsed, status);
  if (!session) return status;
  return action(*session, session->PathOf({url->Name()}), url->Name()) ? kSuccess : Report(*session);
}

int MakeFolderCommand(const Arguments& arguments) {
  return OnItem(arguments, [](RemoteSession& session, const std::string& path, const std::string&) {
    return static_cast<bool>(session.plugin().iPC_CreateFolder(path));
  });
}

int RemoveFileCommand(const Arguments& arguments) {
  return OnItem(arguments, [](RemoteSession& session, const std::string& path, const std::string& name) {
    auto file = NewHostFile();
    file->Init(path, name, 0, Date(), 0, false);
    return session.plugin().iPC_DeleteFile(file, 0);
  });
}

int RemoveFolderCommand(const Arguments& arguments) {
  return OnItem(arguments, [](RemoteSession& session, const std::string& path, const std::string& name) {
    auto folder = NewHostFolder();
    folder->Init(path, name, Date(), 0, false);
    return session.plugin().iPC_DeleteFolder(folder, 0);
  });
}

int RenameCommand(const Arguments& arguments) {
  const auto parsed = ParseCommand(arguments, {}, 2, 2);
  if (!parsed) return kUsage;
  const auto url = ReadItemUrl(parsed->operands[0]);
  if (!url) return kUsage;
  const std::string& new_name = parsed->operands[1];
  if (new_name.empty() || new_name == "." || new_name == ".." ||
      new_name.find_first_of("/\\") != std::string::npos) {
    return UsageError("NEWNAME is a bare name in the same folder: " + new_name);
  }
  int status = kSuccess;
  auto session = OpenAtParent(*url, *parsed, status);
  if (!session) return status;
  auto listing = session->List(session->location());
  if (!listing) return Report(*session);
  if (auto folder = FindByName(listing->folders, url->Name())) {
    if (!session->plugin().iPC_RenameFolder(folder, new_name)) return Report(*session);
    return kSuccess;
  }
  if (auto file = FindByName(listing->files, url->Name())) {
    if (!session->plugin().iPC_RenameFile(file, new_name)) return Report(*session);
    return kSuccess;
  }
  return Problem("no such file or folder: " + parsed->operands[0]);
}

}  // namespace orvex::cli
