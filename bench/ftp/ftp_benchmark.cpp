// Transfer and listing speed of the API against real servers on loopback,
// next to curl doing the same work in the same run.
//
//   ftp_benchmark [--size-mib N] [--entries N] [--files N] [--runs N]
//                 [--only transfers|tls|listings|small]
//
// Prints, per task, the median wall time of ours and curl's, the ratio, and
// for listings the peak resident memory of each (every measurement runs in a
// process of its own so that its peak is its own). Transfers over explicit
// TLS (vsftpd with its default session-reuse requirement, curl --ssl-reqd)
// also print the client's CPU time per GiB, ours and curl's. Listings are
// measured twice: through the API alone, and as `orvex ls --json` (the whole
// host: plug-in, host items, folder cache, output) with its memory per entry
// above the same command's peak for an empty folder. "small" sends --files
// files of 4 KiB up and back down with `orvex sync` and `lftp mirror`, one
// and four transfers at a time, and `orvex sync --no-temp-copy`.

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
  const auto seconds_of = [](const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
  };
  result.cpu_seconds = seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
  result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return result;
}

// Runs a program with `input` on its standard input and its output thrown
// away; the program's exit status says whether it succeeded.
Measurement RunProgram(std::vector<std::string> arguments, const std::string& input = {}) {
  return InChild([&] {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return false;
    if (write(pipe_ends[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) return false;
    close(pipe_ends[1]);
    dup2(pipe_ends[0], 0);
    const int null_output = open("/dev/null", O_WRONLY);
    dup2(null_output, 1);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    return false;
  });
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

// The medians of several measurements taken in turn, one of each per round:
// a server or machine that drifts during the benchmark then weighs on all of
// them alike rather than on whichever came last.
std::vector<Measurement> InterleavedMedians(int runs, const std::vector<std::function<Measurement()>>& measures) {
  std::vector<std::vector<Measurement>> all(measures.size());
  for (int run = 0; run < runs; ++run) {
    for (std::size_t index = 0; index < measures.size(); ++index) all[index].push_back(measures[index]());
  }
  std::vector<Measurement> medians;
  for (auto& taken : all) {
    std::size_t next = 0;
    medians.push_back(Median(static_cast<int>(taken.size()), [&] { return taken[next++]; }));
  }
  return medians;
}

// The size moved by the transfer measurements, for CPU time per GiB.
double gibibytes = 1;

void Report(const char* task, const Measurement& ours, const Measurement& curl,
            bool memory, const char* peer = "curl") {
  std::printf("%-38s ours %8.3f s   %s %8.3f s   ratio %5.2f", task, ours.seconds, peer,
              curl.seconds, ours.seconds / curl.seconds);
  if (memory) {
    std::printf("   peak memory ours %6.1f MiB, %s %6.1f MiB", static_cast<double>(ours.peak_kib) / 1024.0, peer,
                static_cast<double>(curl.peak_kib) / 1024.0);
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

std::string Orvex() { return ORVEX_CLI; }

void MakeSmallFiles(const std::filesystem::path& folder, std::size_t count) {
  std::filesystem::create_directories(folder);
  std::mt19937 generator(7);
  std::vector<char> content(4096);
  for (std::size_t index = 0; index < count; ++index) {
    for (char& byte : content) byte = static_cast<char>(generator());
    std::ofstream(folder / ("small-" + std::to_string(index) + ".dat"), std::ios::binary)
        .write(content.data(), static_cast<std::streamsize>(content.size()));
  }
}

std::size_t CountFiles(const std::filesystem::path& folder) {
  std::size_t count = 0;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    count += it->is_regular_file();
  }
  return count;
}

void EmptyFolder(const std::filesystem::path& folder) {
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::filesystem::remove_all(it->path(), error);
  }
}

// orvex finds the plug-in through a class registry of the benchmark's own.
void RegisterPlugin(const std::filesystem::path& state) {
  std::filesystem::create_directories(state);
  setenv("ORVEX_CLASS_REGISTRY", (state / "classes.registry").c_str(), 1);
  for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "HOME"}) {
    setenv(variable, state.c_str(), 1);
  }
  RunProgram({Orvex(), "register"});
}

std::string FolderUrl(const FtpServer& server, const std::string& folder) {
  return "ftp://" + server.host() + ":" + std::to_string(server.port()) + "/" + folder;
}

void SmallFiles(std::size_t files, int runs, const std::filesystem::path& scratch) {
  FtpServer server(ServerKind::Vsftpd);
  const auto local = scratch / "small-local";
  const auto fetched = scratch / "small-fetched";
  MakeSmallFiles(local, files);
  std::filesystem::create_directories(server.root() / "up");
  server.AdoptFiles();
  const std::string url = FolderUrl(server, "up");
  const std::string lftp_open = "set ftp:ssl-allow no; set net:max-retries 1; set cmd:fail-exit yes; open -u " +
                                server.user() + "," + server.password() + " " + FolderUrl(server, "");
  auto orvex_up = [&](int parallel, bool temp_copy) {
    return Median(runs, [&] {
      EmptyFolder(server.root() / "up");
      std::vector<std::string> arguments = {Orvex(), "sync", "--up", "--parallel", std::to_string(parallel),
                                            "--user", server.user(), "--password-stdin", local.string(), url};
      if (!temp_copy) arguments.push_back("--no-temp-copy");
      auto measured = RunProgram(arguments, server.password() + "\n");
      measured.ok = measured.ok && CountFiles(server.root() / "up") == files;
      return measured;
    });
  };
  auto lftp_up = [&](int parallel) {
    return Median(runs, [&] {
      EmptyFolder(server.root() / "up");
      auto measured = RunProgram({"lftp", "-c", lftp_open + "; mirror -R --parallel=" + std::to_string(parallel) +
                                                  " " + local.string() + " /up"});
      measured.ok = measured.ok && CountFiles(server.root() / "up") == files;
      return measured;
    });
  };
  auto orvex_down = [&](int parallel) {
    return Median(runs, [&] {
      std::filesystem::remove_all(fetched);
      auto measured = RunProgram({Orvex(), "sync", "--down", "--parallel", std::to_string(parallel), "--user",
                                  server.user(), "--password-stdin", fetched.string(), url},
                                 server.password() + "\n");
      measured.ok = measured.ok && CountFiles(fetched) == files;
      return measured;
    });
  };
  auto lftp_down = [&](int parallel) {
    return Median(runs, [&] {
      std::filesystem::remove_all(fetched);
      auto measured = RunProgram({"lftp", "-c", lftp_open + "; mirror --parallel=" + std::to_string(parallel) +
                                                  " /up " + fetched.string()});
      measured.ok = measured.ok && CountFiles(fetched) == files;
      return measured;
    });
  };
  const std::string what = std::to_string(files) + " x 4 KiB";
  for (int parallel : {1, 4}) {
    Report((what + " up, " + std::to_string(parallel) + " at a time, vsftpd").c_str(), orvex_up(parallel, true),
           lftp_up(parallel), false, "lftp");
  }
  Report((what + " up, --no-temp-copy, vsftpd").c_str(), orvex_up(1, false), orvex_up(1, true), false,
         "temp");
  // --limit-rate: one 4 MiB file at 1 MiB/s should take four seconds.
  {
    const auto paced = scratch / "paced";
    std::filesystem::create_directories(paced);
    MakeLargeFile(paced / "four.bin", 4);
    std::filesystem::create_directories(server.root() / "paced");
    server.AdoptFiles();
    const Measurement measured = Median(runs, [&] {
      EmptyFolder(server.root() / "paced");
      return RunProgram({Orvex(), "sync", "--up", "--limit-rate", "1M", "--user", server.user(), "--password-stdin",
                         paced.string(), FolderUrl(server, "paced")},
                        server.password() + "\n");
    });
    std::printf("%-38s ours %8.3f s   aimed at 4.000 s (4 MiB at 1 MiB/s): %+.1f%%%s\n", "--limit-rate 1M, 4 MiB up",
                measured.seconds, (measured.seconds / 4.0 - 1) * 100, measured.ok ? "" : "   FAILED");
    std::fflush(stdout);
  }
  // The files are on the server now (the last upload): fetch them back.
  for (int parallel : {1, 4}) {
    Report((what + " down, " + std::to_string(parallel) + " at a time, vsftpd").c_str(), orvex_down(parallel),
           lftp_down(parallel), false, "lftp");
  }
}

int main(int argc, char** argv) {
  std::size_t size_mib = 1024;
  std::size_t entries = 100'000;
  std::size_t files = 1000;
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
    if (option == "--files") files = static_cast<std::size_t>(value);
  }
  const std::filesystem::path scratch =
      std::filesystem::temp_directory_path() / ("orvex-bench-state-" + std::to_string(getpid()));
  RegisterPlugin(scratch / "state");
  const std::string size_text = std::to_string(size_mib) + " MiB";
  gibibytes = static_cast<double>(size_mib) / 1024.0;

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

  if (only.empty() || only == "small") SmallFiles(files, runs, scratch);

  const std::string entries_text = std::to_string(entries) + " entries";
  if (!only.empty() && only != "listings") {
    std::filesystem::remove_all(scratch);
    return 0;
  }
  for (const auto& listing :
       {std::pair<ServerKind, const char*>{ServerKind::Vsftpd, "LIST"},
        {ServerKind::PureFtpd, "MLSD"}}) {
    // Plain names, not a structured binding: the lambdas below capture them.
    const ServerKind kind = listing.first;
    const char* const command = listing.second;
    FtpServer server(kind);
    MakeManyFiles(server.root() / "many", entries);
    server.AdoptFiles();
    // The whole host: `orvex ls --json`, and the same for an empty folder
    // as the fixed base its memory per entry is counted from.
    std::filesystem::create_directories(server.root() / "empty");
    server.AdoptFiles();
    auto orvex_ls = [&](const std::string& folder) {
      return [&, folder] {
        return RunProgram({Orvex(), "ls", "--json", "--user", server.user(), "--password-stdin",
                           FolderUrl(server, folder)},
                          server.password() + "\n");
      };
    };
    const std::vector<Measurement> taken = InterleavedMedians(
        runs, {[&] { return InChild([&] { return OurListing(server, "/many", entries); }); },
               [&] { return RunCurl({"-o", "/dev/null", "--request", command, server.url() + "many/"}); },
               orvex_ls("many"), orvex_ls("empty")});
    const Measurement& ours = taken[0];
    const Measurement& curl = taken[1];
    const Measurement& listed = taken[2];
    const Measurement& base = taken[3];
    Report((std::string(command) + " " + entries_text + ", " + server.name()).c_str(),
           ours, curl, true);
    Report(("orvex ls --json " + entries_text + ", " + server.name()).c_str(), listed, curl, true);
    std::printf("%-38s %.0f bytes of peak memory per entry above the %.1f MiB of an empty folder\n", "",
                static_cast<double>(listed.peak_kib - base.peak_kib) * 1024.0 / static_cast<double>(entries),
                static_cast<double>(base.peak_kib) / 1024.0);
    std::fflush(stdout);
  }
  std::filesystem::remove_all(scratch);
  return 0;
}
