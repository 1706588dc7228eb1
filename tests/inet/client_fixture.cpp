#include "tests/inet/client_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace orvex::wininet::testing {

Client::~Client() { Close(); }

bool Client::Connect(const std::string& server, INTERNET_PORT port,
                     const std::string& user, const std::string& password,
                     bool passive, const std::string& proxy) {
  Close();
  session_ = InternetOpenA("OrvexFTP tests",
                           proxy.empty() ? INTERNET_OPEN_TYPE_DIRECT
                                         : INTERNET_OPEN_TYPE_PROXY,
                           proxy.empty() ? nullptr : proxy.c_str(), nullptr, 0);
  if (session_ == 0) {
    error_ = GetLastError();
    return false;
  }
  connection_ = InternetConnectA(session_, server.c_str(), port, user.c_str(),
                                 password.c_str(), INTERNET_SERVICE_FTP,
                                 passive ? INTERNET_FLAG_PASSIVE : 0, 0);
  error_ = connection_ == 0 ? GetLastError() : 0;
  return connection_ != 0;
}

void Client::Close() {
  if (session_ != 0) InternetCloseHandle(session_);  // closes the connection too
  session_ = connection_ = 0;
}

std::vector<Listed> ListFolder(HINTERNET connection, const std::string& path) {
  std::vector<Listed> entries;
  EXPECT_TRUE(FtpSetCurrentDirectoryA(connection, path.c_str()))
      << path << ": " << GetLastError() << " " << LastResponse();
  WIN32_FIND_DATAA data;
  const HINTERNET find =
      FtpFindFirstFileA(connection, nullptr, &data, INTERNET_FLAG_RELOAD, 0);
  if (find == 0) {
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES) << LastResponse();
    return entries;
  }
  do {
    entries.push_back({data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                       data.FileSize(), data.dwFileAttributes, data.ftLastWriteTime});
  } while (InternetFindNextFileA(find, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  InternetCloseHandle(find);
  std::sort(entries.begin(), entries.end(),
            [](const Listed& a, const Listed& b) { return a.name < b.name; });
  return entries;
}

bool Download(HINTERNET connection, const std::string& path, DWORD type,
              std::string& content, DWORD block) {
  content.clear();
  const HINTERNET file = FtpOpenFileA(connection, path.c_str(), GENERIC_READ, type, 0);
  if (file == 0) return false;
  std::vector<char> buffer(block);
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(file, buffer.data(), block, &read)) {
      const DWORD error = GetLastError();
      InternetCloseHandle(file);
      SetLastError(error);
      return false;
    }
    content.append(buffer.data(), read);
    if (read < block) break;  // a short read is the end of the file
  }
  DWORD read = 1;
  const bool at_end = InternetReadFile(file, buffer.data(), block, &read) && read == 0;
  EXPECT_TRUE(at_end) << "reads after the end must give 0 bytes";
  return InternetCloseHandle(file) && at_end;
}

bool Upload(HINTERNET connection, const std::string& path, DWORD type,
            const std::string& content, DWORD block) {
  const HINTERNET file = FtpOpenFileA(connection, path.c_str(), GENERIC_WRITE, type, 0);
  if (file == 0) return false;
  bool written_all = true;
  for (std::size_t offset = 0; offset < content.size() && written_all; offset += block) {
    const DWORD size =
        static_cast<DWORD>(std::min<std::size_t>(block, content.size() - offset));
    DWORD written = 0;
    written_all = InternetWriteFile(file, content.data() + offset, size, &written) &&
                  written == size;
  }
  const DWORD write_error = GetLastError();
  const bool closed = InternetCloseHandle(file);
  if (!written_all) SetLastError(write_error);
  return written_all && closed;
}

std::string LastResponse(DWORD* code) {
  DWORD ignored = 0;
  DWORD length = 0;
  InternetGetLastResponseInfoA(code ? code : &ignored, nullptr, &length);
  std::string text(length, '\0');
  if (!InternetGetLastResponseInfoA(code ? code : &ignored, text.data(), &length)) {
    return {};
  }
  text.resize(length);
  return text;
}

void SetTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds reply,
                 std::chrono::milliseconds data) {
  for (const auto& [option, value] :
       {std::pair<DWORD, std::chrono::milliseconds>{INTERNET_OPTION_CONNECT_TIMEOUT, connect},
        {INTERNET_OPTION_RECEIVE_TIMEOUT, reply},
        {INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, data}}) {
    const DWORD milliseconds = static_cast<DWORD>(value.count());
    ASSERT_TRUE(InternetSetOptionA(0, option, &milliseconds, sizeof milliseconds));
  }
}

std::string RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xff);
  return bytes;
}

}  // namespace orvex::wininet::testing
