#ifndef ORVEX_TESTS_SUPPORT_SOCKET_UTIL_H_
#define ORVEX_TESTS_SUPPORT_SOCKET_UTIL_H_

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvex::testing {

// Small blocking socket helpers on 127.0.0.1 with time limits; descriptors
// are close-on-exec. -1 / false on failure.

// A listening socket on 127.0.0.1; port 0 picks a free one. *bound_port gets it.
int ListenLoopback(std::uint16_t port, std::uint16_t* bound_port);
int ConnectLoopback(std::uint16_t port, std::chrono::milliseconds timeout);
int AcceptWithin(int listener, std::chrono::milliseconds timeout);
bool SendAll(int descriptor, std::string_view bytes);
// Waits until the descriptor is readable (or has hung up).
bool WaitReadable(int descriptor, std::chrono::milliseconds timeout);
// Reads one complete FTP reply (through its final "ddd " line). False on
// timeout, close or an overlong reply.
bool ReadReply(int descriptor, std::chrono::milliseconds timeout, std::string* reply);
// Whether something accepts connections on the port right now.
bool PortAnswers(std::uint16_t port);

}  // namespace orvex::testing

#endif  // ORVEX_TESTS_SUPPORT_SOCKET_UTIL_H_
