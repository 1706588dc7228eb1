#pragma once
// The plug-in as the host meets it: registered in a temporary class
// registry, created by its class name, initialised for a location on a real
// FTP server that the fixture starts, with a translation table that marks
// every text it translates ("«text»"), so a test sees what went through
// Translate.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "connection/host/connection_interface.h"
#include "connection/host/host_objects.h"
#include "host/app/plugin_loader.h"
#include "tests/connection/host_fixture.h"
#include "tests/support/availability.h"
#include "tests/support/ftp_server.h"

namespace orvex::testing_support {

// Every text the plug-in translates.
inline const std::vector<std::string>& PluginTexts() {
  static const std::vector<std::string> texts = {
      "Connection properties",
      "Connection to %1 failed: %2",
      "Error getting files for: %1: %2",
      "Error getting sub-folders for: %1: %2",
      "Error getting file: %1: %2",
      "Error getting folder: %1: %2",
      "Error opening file '%1': %2",
      "Error writing to file '%1': %2",
      "Error reading from file '%1': %2",
      "Error seeking file '%1' at %2: %3",
      "Error closing file '%1': %2",
      "Number of bytes not matching.",
      "Feature not supported",
      "The buffer holds fewer bytes than the count to write.",
      "The buffer holds fewer bytes than the count to read.",
      "The new content stays on the server as '%1': %2",
      "The upload is not on the server under its temporary name '%1': %2",
      "The file on the server is longer than listed: the copy is incomplete.",
      "Error creating folder: '%1'  %2",
      "An error occurred while deleting file: %1: %2",
      "An error occurred while deleting folder: %1: %2",
      "Error renaming file: %1 to: %2: %3",
      "Error renaming folder: %1 to: %2: %3",
      "Invalid name: a new name may not be empty, \".\" or \"..\", nor contain \"/\" or \"\\\".",
  };
  return texts;
}

inline std::string Marked(const std::string& text) { return "\xC2\xAB" + text + "\xC2\xBB"; }

inline std::string MarkingTable() {
  auto escape = [](std::string text) {
    std::string escaped;
    for (char c : text) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return escaped;
  };
  std::string table;
  for (const auto& text : PluginTexts()) table += escape(text) + "\t" + escape(Marked(text)) + "\n";
  return table;
}

// Registers the plug-in library in the current class registry.
inline void RegisterPlugin() {
  void* library = ::dlopen(ORVEX_PLUGIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_TRUE(library) << ::dlerror();
  auto register_server = reinterpret_cast<com::HRESULT (*)()>(::dlsym(library, "DllRegisterServer"));
  ASSERT_EQ(register_server(), com::S_OK);
  ::dlclose(library);
}

// The plug-in, created and initialised as PluginFixture does it, for a
// location on any server (a scripted one, say) at 127.0.0.1:port.
class PluginAtPort {
 public:
  explicit PluginAtPort(std::uint16_t port)
      : host_(MarkingTable()), location_("ftp://127.0.0.1:" + std::to_string(port)) {
    RegisterPlugin();
    plugin_ = loader_.CreateObject(kConnectionProgId);
    connection_ = plugin_.As<_Connection>();
    plugin_->iPC_Init(host_.host().plugin_interface(), "7", location_);
    connection_->UserName("user");
    connection_->Password("secret");
  }

  const std::string& location() const { return location_; }
  std::string path(const std::string& relative) const {
    std::string joined = location_;
    for (char c : "\\" + relative) joined += c == '/' ? '\\' : c;
    return joined;
  }
  iPC& plugin() { return *plugin_; }
  _Connection& connection() { return *connection_; }
  hostapp::ReferenceHost& host() { return host_.host(); }
  std::string LastError() { return plugin_->iPC_Properties()->LastError(); }
  std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    for (const auto& record : host().services().LogRecords()) lines.push_back(record.text);
    return lines;
  }

 private:
  TemporaryHost host_;
  std::string location_;
  hostapp::PluginLoader loader_;
  com::ComPtr<iPC> plugin_;
  com::ComPtr<_Connection> connection_;
};

class PluginFixture {
 public:
  explicit PluginFixture(testing::ServerKind kind, testing::FtpServerOptions options = {})
      : host_(MarkingTable()), server_(kind, std::move(options)) {
    Register();
    plugin_ = loader_.CreateObject(kConnectionProgId);
    connection_ = plugin_.As<_Connection>();
    plugin_->iPC_Init(host_.host().plugin_interface(), "7", location());
    connection_->UserName(server_.user());
    connection_->Password(server_.password());
    connection_->Port(std::to_string(server_.port()));
  }

  std::string location() const { return "ftp://127.0.0.1"; }
  // The host path of an item below the location.
  std::string path(const std::string& relative) const {
    std::string joined = location();
    for (char c : "\\" + relative) joined += c == '/' ? '\\' : c;
    return joined;
  }

  iPC& plugin() { return *plugin_; }
  _Connection& connection() { return *connection_; }
  testing::FtpServer& server() { return server_; }
  hostapp::ReferenceHost& host() { return host_.host(); }

  std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    for (const auto& record : host().services().LogRecords()) lines.push_back(record.text);
    return lines;
  }

  // Uploads `content` to `relative` through the stream members in blocks.
  bool Upload(const std::string& relative, const std::string& content, std::size_t block = 64 * 1024,
              std::int32_t status = 0) {
    auto file = NewHostFile();
    auto name = std::filesystem::path(relative).filename().string();
    file->Init(path(relative), name, static_cast<double>(content.size()), Date::Now(), 0, false);
    auto stream = NewHostFileStream();
    stream->File(file);
    stream->AccessMode(HostFileStream::kAccessWrite);
    if (!plugin_->iPC_OpenFile(stream)) return false;
    bool written = true;
    for (std::size_t offset = 0; written && offset < content.size(); offset += block) {
      std::size_t count = std::min(block, content.size() - offset);
      std::vector<std::uint8_t> buffer(content.begin() + static_cast<std::ptrdiff_t>(offset),
                                       content.begin() + static_cast<std::ptrdiff_t>(offset + count));
      stream->Count(static_cast<std::int32_t>(count));
      written = plugin_->iPC_WriteFile(stream, buffer);
    }
    stream->Status(status);
    bool closed = plugin_->iPC_CloseFile(stream);
    last_stream_ = stream;
    return written && closed;
  }

  // Downloads `relative` through the stream members; the size comes from
  // the listing, as the host does it.
  std::optional<std::string> Download(const std::string& relative, std::size_t block = 64 * 1024) {
    auto file = plugin_->iPC_GetFile(path(relative));
    if (!file) return std::nullopt;
    auto stream = NewHostFileStream();
    stream->File(file);
    stream->AccessMode(HostFileStream::kAccessRead);
    if (!plugin_->iPC_OpenFile(stream)) return std::nullopt;
    std::string content;
    auto remaining = static_cast<std::uint64_t>(file->Size());
    bool read = true;
    while (read && remaining > 0) {
      std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(block, remaining));
      std::vector<std::uint8_t> buffer(count);
      stream->Count(static_cast<std::int32_t>(count));
      read = plugin_->iPC_ReadFile(stream, buffer);
      content.append(buffer.begin(), buffer.end());
      remaining -= count;
    }
    bool closed = plugin_->iPC_CloseFile(stream);
    if (!read || !closed) return std::nullopt;
    return content;
  }

  com::ComPtr<HostFileStream> last_stream() const { return last_stream_; }

 private:
  void Register() { RegisterPlugin(); }

  TemporaryHost host_;
  testing::FtpServer server_;
  hostapp::PluginLoader loader_;
  com::ComPtr<iPC> plugin_;
  com::ComPtr<_Connection> connection_;
  com::ComPtr<HostFileStream> last_stream_;
};

}  // namespace orvex::testing_support
