#ifndef ORVEX_TESTS_SUPPORT_AVAILABILITY_H_
#define ORVEX_TESTS_SUPPORT_AVAILABILITY_H_

#include <gtest/gtest.h>

#include <string>

namespace orvex::testing {

// True when the environment variable ORVEX_REQUIRE_SERVERS is "1" (the test
// command and CI set it): then a missing server or proxy daemon fails the
// test instead of skipping it, so a broken installation never passes quietly.
bool ServersRequired();

}  // namespace orvex::testing

// Use at the top of a test body (or a fixture's SetUp). When `available` is
// false the test is skipped with the message, or fails when servers are
// required. Example:
//   ORVEX_REQUIRE_AVAILABLE(ServerAvailable(ServerKind::Vsftpd), "vsftpd");
#define ORVEX_REQUIRE_AVAILABLE(available, what)                                    \
  do {                                                                              \
    if (!(available)) {                                                             \
      if (::orvex::testing::ServersRequired()) {                                    \
        FAIL() << (what) << " is not installed (run scripts/setup); "               \
               << "ORVEX_REQUIRE_SERVERS=1 makes this a failure";                   \
      } else {                                                                      \
        GTEST_SKIP() << (what) << " is not installed (run scripts/setup); skipped"; \
      }                                                                             \
    }                                                                               \
  } while (false)

#endif  // ORVEX_TESTS_SUPPORT_AVAILABILITY_H_
