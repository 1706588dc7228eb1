#ifndef ORVEX_TESTS_SUPPORT_FREE_PORT_H_
#define ORVEX_TESTS_SUPPORT_FREE_PORT_H_

#include <cstdint>

namespace orvex::testing {

// A block of consecutive TCP ports on 127.0.0.1 that belongs to this object
// alone, also across test processes running in parallel: blocks are handed
// out below the kernel's ephemeral range and each one is guarded by a lock on
// a file that the kernel releases when the owning process dies, so a crashed
// test never leaks its ports. A daemon started by the tests uses first() as
// its listening port and the rest (second() .. last()) as its passive range.
class PortBlock {
 public:
  static constexpr int kSize = 64;

  PortBlock();  // throws std::runtime_error when no block is free
  ~PortBlock();

  PortBlock(const PortBlock&) = delete;
  PortBlock& operator=(const PortBlock&) = delete;

  std::uint16_t first() const { return first_; }
  std::uint16_t second() const { return static_cast<std::uint16_t>(first_ + 1); }
  std::uint16_t last() const { return static_cast<std::uint16_t>(first_ + kSize - 1); }

 private:
  std::uint16_t first_ = 0;
  int lock_descriptor_ = -1;
};

}  // namespace orvex::testing

#endif  // ORVEX_TESTS_SUPPORT_FREE_PORT_H_
