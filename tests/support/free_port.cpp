#include "tests/support/free_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

#include "tests/support/socket_util.h"

namespace orvex::testing {
namespace {

// Below the kernel's ephemeral range (32768 and up), so outgoing connections
// never take these ports behind our back.
constexpr int kFirstPort = 20000;
constexpr int kLastPort = 32767;
constexpr int kBlocks = (kLastPort - kFirstPort + 1) / PortBlock::kSize;

// Shared by every test process on the machine, whoever created it.
std::filesystem::path LockFolder() {
  std::filesystem::path folder = std::filesystem::temp_directory_path() / "orvex-test-ports";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  // Whoever made it first opens it to everyone; others may not, and need not.
  std::filesystem::permissions(folder, std::filesystem::perms::all, ignored);
  return folder;
}

}  // namespace

PortBlock::PortBlock() {
  const std::filesystem::path folder = LockFolder();
  // Start at a random block so parallel processes rarely contend for the same
  // lock, then walk through all of them once.
  std::random_device seed;
  const int start = static_cast<int>(seed() % kBlocks);
  for (int step = 0; step < kBlocks; ++step) {
    const int block = (start + step) % kBlocks;
    const std::string lock_path = (folder / ("block-" + std::to_string(block))).string();
    int descriptor = ::open(lock_path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    if (descriptor < 0) continue;
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
      ::close(descriptor);
      continue;
    }
    // Someone outside the tests may sit on the listening port: skip the block.
    const auto first = static_cast<std::uint16_t>(kFirstPort + block * kSize);
    std::uint16_t bound = 0;
    int probe = ListenLoopback(first, &bound);
    if (probe < 0) {
      ::close(descriptor);
      continue;
    }
    ::close(probe);
    first_ = first;
    lock_descriptor_ = descriptor;
    return;
  }
  throw std::runtime_error("PortBlock: every port block is taken");
}

PortBlock::~PortBlock() {
  if (lock_descriptor_ >= 0) ::close(lock_descriptor_);  // releases the lock
}

}  // namespace orvex::testing
