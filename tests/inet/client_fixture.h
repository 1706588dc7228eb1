#pragma once
// Small helpers over the API for the tests: open a connection, list a folder,
// move a whole file in blocks, read the last reply.

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "platform/inet/wininet.h"

namespace orvex::wininet::testing {

// Owns a session and one connection; closes both when destroyed.
class Client {
 public:
  Client() = default;
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // True when logged in; otherwise error() holds the last error number.
  bool Connect(const std::string& server, INTERNET_PORT port, const std::string& user,
               const std::string& password, bool passive = true,
               const std::string& proxy = "");
  void Close();

  HINTERNET connection() const { return connection_; }
  DWORD error() const { return error_; }

 private:
  HINTERNET session_ = 0;
  HINTERNET connection_ = 0;
  DWORD error_ = 0;
};

struct Listed {
  std::string name;
  bool folder = false;
  std::uint64_t size = 0;
  DWORD attributes = 0;
  FILETIME written;

  bool operator==(const Listed& other) const {
    return name == other.name && folder == other.folder && size == other.size;
  }
};

inline std::ostream& operator<<(std::ostream& out, const Listed& entry) {
  return out << (entry.folder ? "folder " : "file ") << '"' << entry.name << "\" "
             << entry.size;
}

// Lists `path` (changing into it first); sorted by name. Fails the test on
// an error.
std::vector<Listed> ListFolder(HINTERNET connection, const std::string& path);

// Reads the whole remote file in blocks of `block` bytes; false on any
// failed call (GetLastError tells which).
bool Download(HINTERNET connection, const std::string& path, DWORD type,
              std::string& content, DWORD block = 64 * 1024);
// Writes `content` in blocks and closes; false when any call failed,
// including the close.
bool Upload(HINTERNET connection, const std::string& path, DWORD type,
            const std::string& content, DWORD block = 64 * 1024);

// The code and text of the thread's last server reply.
std::string LastResponse(DWORD* code = nullptr);

// Sets the process-wide time limits for sessions opened afterwards.
void SetTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds reply,
                 std::chrono::milliseconds data);

// Deterministic bytes that are not compressible or line-structured.
std::string RandomBytes(std::size_t size, std::uint32_t seed);

}  // namespace orvex::wininet::testing
