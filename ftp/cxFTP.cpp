#include "ftp/cxFTP.h"

namespace orvex {

cxFTP::~cxFTP() { Disconnect(); }

bool cxFTP::Connect(const std::string&, const std::string&, const std::string&, std::string,
                    const std::string&, bool) {
  return false;
}
void cxFTP::Disconnect() {
  hConnection_ = 0;
  hOpen_ = 0;
}
std::string cxFTP::GetStatus() { return "OK"; }
std::string cxFTP::GetCurrentDirectory() { return {}; }
bool cxFTP::ListDirectory(const std::string&, com::ComPtr<script::Collection>&,
                          com::ComPtr<script::Collection>&) {
  return false;
}
com::ComPtr<HostFile> cxFTP::GetFile(const std::string&) { return {}; }
com::ComPtr<HostFolder> cxFTP::GetFolder(const std::string&) { return {}; }
bool cxFTP::DeleteFile(const com::ComPtr<HostFile>&, const std::string&) { return false; }
bool cxFTP::DeleteDirectory(const com::ComPtr<HostFolder>&) { return false; }
bool cxFTP::RenameFile(const com::ComPtr<HostFile>&, const std::string&, const std::string&) {
  return false;
}
bool cxFTP::RenameFolder(const com::ComPtr<HostFolder>&, const std::string&, const std::string&) {
  return false;
}
bool cxFTP::CreateFolder(const com::ComPtr<HostFolder>&) { return false; }
std::uint32_t cxFTP::OpenFileStream(const std::string&, std::uint32_t, std::uint32_t) { return 0; }
bool cxFTP::WriteFileStream(std::uint32_t, const std::vector<std::uint8_t>&, std::uint32_t,
                            std::uint32_t&) {
  return false;
}
bool cxFTP::ReadFileStream(std::uint32_t, std::vector<std::uint8_t>&, std::uint32_t,
                           std::uint32_t&) {
  return false;
}
bool cxFTP::CloseFileStream(std::uint32_t) { return false; }
std::string cxFTP::ServerPath(const std::string&) const { return "/"; }
std::string cxFTP::GetErrorText(std::uint32_t) { return {}; }

}  // namespace orvex
