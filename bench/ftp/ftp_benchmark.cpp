// Transfer and listing speed of the API against real servers on loopback,
// next to curl doing the same work in the same run.
//
//   ftp_benchmark [--size-mib N] [--entries N] [--runs N] [--only transfers|tls|listings]
//
// Prints, per task, the median wall time of ours and curl's, the ratio, and
// for listings the peak resident memory of each (every measurement runs in a
// process of its own so that its peak is its own). Transfers over explicit
// TLS (vsftpd with its default session-reuse requirement, curl --ssl-reqd)
// also print the client's CPU time per GiB, ours and curl's.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/inet/wininet.h"
#include "platform/inet/wininet_security.h"
#include "tests/support/ftp_server.h"
#include "tests/support/test_certificates.h"

namespace {

using namespace orvex::wininet;
using orvex::testing::FtpServer;
using orvex::testing::ServerKind;
using Clock = std::chrono::steady_clock;

constexpr DWORD kBlock = 64 * 1024;

struct Measurement {
  double seconds = 0;
  double cpu_seconds = 0;  // user and system time of the measured process
  long peak_kib = 0;
  bool ok = false;
};

// Runs `work` in a child process; its exit status says whether it succeeded.
Measurement InChild(const std::function<bool()>& work) {
  const auto start = Clock::now();
  const pid_t child = fork();
  if (child == 0) _exit(work() ? 0 : 1);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  Measurement result;
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  result.peak_kib = usage.ru_maxrss;
  result.cpu_seconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                       usage.ru_stime.tv_usec / 1e6;
  result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return result;
}

Measurement RunCurl(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {"curl", "--silent", "--show-error", "--fail"});
  return InChild([&arguments] {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execvp("curl", argv.data());
    return false;
  });
}

// Explicit TLS for the connections of the TLS measurements; off otherwise.
bool use_tls = false;

HINTERNET Connect(const FtpServer& server, HINTERNET& session) {
  session = InternetOpenA("benchmark", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (use_tls) {
    INTERNET_SECURITY_OPTIONS security;
    security.encryption = FTP_ENCRYPTION_EXPLICIT;
    security.ca_file = orvex::testing::Certificates().ca.certificate.string();
    InternetSetSecurityOptionsA(session, security);
  }
  return InternetConnectA(session, server.host().c_str(), server.port(),
                          server.user().c_str(), server.password().c_str(),
                          INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
}

bool OurDownload(const FtpServer& server, const std::string& path) {
  HINTERNET session = 0;
  const HINTERNET connection = Connect(server, session);
  const HINTERNET file = FtpOpenFileA(connection, path.c_str(), GENERIC_READ,
                                      FTP_TRANSFER_TYPE_BINARY, 0);
  if (file == 0) return false;
  std::vector<char> buffer(kBlock);
  DWORD read = 0;
  do {
    if (!InternetReadFile(file, buffer.data(), kBlock, &read)) return false;
  } while (read == kBlock);
  return InternetCloseHandle(file) && InternetCloseHandle(session);
}

bool OurUpload(const FtpServer& server, const std::string& local,
               const std::string& path) {
  HINTERNET session = 0;
  const HINTERNET connection = Connect(server, session);
  const HINTERNET file = FtpOpenFileA(connection, path.c_str(), GENERIC_WRITE,
                                      FTP_TRANSFER_TYPE_BINARY, 0);
  if (file == 0) return false;
  const int input = open(local.c_str(), O_RDONLY);
  std::vector<char> buffer(kBlock);
  for (;;) {
    const ssize_t count = read(input, buffer.data(), kBlock);
    if (count <= 0) break;
    DWORD written = 0;
    if (!InternetWriteFile(file, buffer.data(), static_cast<DWORD>(count), &written)) {
      return false;
    }
  }
  close(input);
  return InternetCloseHandle(file) && InternetCloseHandle(session);
}

bool OurListing(const FtpServer& server, const std::string& folder,
                std::size_t expected) {
  HINTERNET session = 0;
  const HINTERNET connection = Connect(server, session);
  if (!FtpSetCurrentDirectoryA(connection, folder.c_str())) return false;
  WIN32_FIND_DATAA data;
  const HINTERNET find = FtpFindFirstFileA(connection, nullptr, &data, 0, 0);
  if (find == 0) return false;
  std::size_t count = 1;
  while (InternetFindNextFileA(find, &data)) ++count;
  InternetCloseHandle(session);
  if (count < expected) {
    std::fprintf(stderr, "listed %zu of %zu entries\n", count, expected);
    return false;
  }
  return true;
}

Measurement Median(int runs, const std::function<Measurement()>& measure) {
  std::vector<Measurement> all;
  for (int run = 0; run < runs; ++run) all.push_back(measure());
  std::sort(all.begin(), all.end(),
            [](const Measurement& a, const Measurement& b) { return a.seconds < b.seconds; });
  Measurement median = all[all.size() / 2];
  for (const Measurement& one : all) {
    median.ok = median.ok && one.ok;
    median.peak_kib = std::max(median.peak_kib, one.peak_kib);
  }
  return median;
}

// The size moved by the transfer measurements, for CPU time per GiB.
double gibibytes = 1;

void Report(const char* task, const Measurement& ours, const Measurement& curl,
            bool memory) {
  std::printf("%-34s ours %8.3f s   curl %8.3f s   ratio %5.2f", task, ours.seconds,
              curl.seconds, ours.seconds / curl.seconds);
  if (memory) {
    std::printf("   peak memory ours %6.1f MiB, curl %6.1f MiB", ours.peak_kib / 1024.0,
                curl.peak_kib / 1024.0);
  }
  if (use_tls) {
    std::printf("   CPU per GiB ours %6.2f s, curl %6.2f s", ours.cpu_seconds / gibibytes,
                curl.cpu_seconds / gibibytes);
  }
  if (!ours.ok || !curl.ok) std::printf("   FAILED (ours %d, curl %d)", ours.ok, curl.ok);
  std::printf("\n");
  std::fflush(stdout);
}

void MakeLargeFile(const std::filesystem::path& path, std::size_t mebibytes) {
  std::mt19937 generator(5);
  std::vector<char> block(1024 * 1024);
  for (char& byte : block) byte = static_cast<char>(generator());
  std::ofstream out(path, std::ios::binary);
  for (std::size_t index = 0; index < mebibytes; ++index) {
    block[0] = static_cast<char>(index);  // no two mebibytes alike
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
}

void MakeManyFiles(const std::filesystem::path& folder, std::size_t count) {
  std::filesystem::create_directories(folder);
  for (std::size_t index = 0; index < count; ++index) {
    const std::string name = folder / ("entry-" + std::to_string(index) + ".dat");
    close(open(name.c_str(), O_CREAT | O_WRONLY, 0644));
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t size_mib = 1024;
  std::size_t entries = 100'000;
  int runs = 3;
  std::string only;
  for (int index = 1; index + 1 < argc; index += 2) {
    const std::string option = argv[index];
    if (option == "--only") {
      only = argv[index + 1];
      continue;
    }
    const long value = std::stol(argv[index + 1]);
    if (option == "--size-mib") size_mib = static_cast<std::size_t>(value);
    if (option == "--entries") entries = static_cast<std::size_t>(value);
    if (option == "--runs") runs = static_cast<int>(value);
  }
  const std::string size_text = std::to_string(size_mib) + " MiB";
  gibibytes = size_mib / 1024.0;

  if (only.empty() || only == "tls") {
    // Explicit TLS against vsftpd, which requires every data connection to
    // resume the control connection's TLS session.
    orvex::testing::FtpServerOptions options;
    options.tls = orvex::testing::ServerTls::Explicit;
    FtpServer vsftpd(ServerKind::Vsftpd, options);
    MakeLargeFile(vsftpd.root() / "large.bin", size_mib);
    const std::filesystem::path local =
        std::filesystem::temp_directory_path() / ("orvex-bench-tls-" + std::to_string(getpid()));
    MakeLargeFile(local, size_mib);
    vsftpd.AdoptFiles();
    const std::string ca = orvex::testing::Certificates().ca.certificate.string();
    use_tls = true;
    const Measurement our_download = Median(runs, [&] {
      return InChild([&] { return OurDownload(vsftpd, "/large.bin"); });
    });
    const Measurement curl_download = Median(runs, [&] {
      return RunCurl({"--ssl-reqd", "--cacert", ca, "-o", "/dev/null", vsftpd.url() + "large.bin"});
    });
    Report(("TLS download " + size_text + ", vsftpd").c_str(), our_download, curl_download, false);
    const Measurement our_upload = Median(runs, [&] {
      return InChild([&] { return OurUpload(vsftpd, local, "/ours.bin"); });
    });
    const Measurement curl_upload = Median(runs, [&] {
      return RunCurl({"--ssl-reqd", "--cacert", ca, "-T", local.string(), vsftpd.url() + "curl.bin"});
    });
    Report(("TLS upload " + size_text + ", vsftpd").c_str(), our_upload, curl_upload, false);
    use_tls = false;
    std::filesystem::remove(local);
    if (only == "tls") return 0;
  }

  if (only.empty() || only == "transfers") {
    FtpServer vsftpd(ServerKind::Vsftpd);
    MakeLargeFile(vsftpd.root() / "large.bin", size_mib);
    const std::filesystem::path local =
        std::filesystem::temp_directory_path() / ("orvex-bench-" + std::to_string(getpid()));
    MakeLargeFile(local, size_mib);
    vsftpd.AdoptFiles();

    const Measurement our_download = Median(runs, [&] {
      return InChild([&] { return OurDownload(vsftpd, "/large.bin"); });
    });
    const Measurement curl_download = Median(runs, [&] {
      return RunCurl({"-o", "/dev/null", vsftpd.url() + "large.bin"});
    });
    Report(("download " + size_text + ", vsftpd").c_str(), our_download, curl_download,
           false);

    const Measurement our_upload = Median(runs, [&] {
      return InChild([&] { return OurUpload(vsftpd, local, "/ours.bin"); });
    });
    const Measurement curl_upload = Median(runs, [&] {
      return RunCurl({"-T", local.string(), vsftpd.url() + "curl.bin"});
    });
    Report(("upload " + size_text + ", vsftpd").c_str(), our_upload, curl_upload, false);
    std::filesystem::remove(local);
  }

  const std::string entries_text = std::to_string(entries) + " entries";
  if (!only.empty() && only != "listings") return 0;
  for (const auto& [kind, command] :
       {std::pair<ServerKind, const char*>{ServerKind::Vsftpd, "LIST"},
        {ServerKind::PureFtpd, "MLSD"}}) {
    FtpServer server(kind);
    MakeManyFiles(server.root() / "many", entries);
    server.AdoptFiles();
    const Measurement ours = Median(runs, [&] {
      return InChild([&] { return OurListing(server, "/many", entries); });
    });
    const Measurement curl = Median(runs, [&] {
      return RunCurl({"-o", "/dev/null", "--request", command, server.url() + "many/"});
    });
    Report((std::string(command) + " " + entries_text + ", " + server.name()).c_str(),
           ours, curl, true);
  }
  return 0;
}
