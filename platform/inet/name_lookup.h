#pragma once
// Looking a host name up within a time limit.
//
// The system resolver cannot be interrupted and, with an unreachable name
// server, may take many seconds. The lookup therefore runs on a thread of its
// own: the caller waits at most until its deadline, and a late answer is
// dropped by that thread when it arrives. The thread is a module thread
// (platform/com/module_thread.h): until it has exited, a host asking whether
// the library can be unloaded is told no.

#include <netdb.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/inet/status.h"

namespace orvex::inet {

using AddressList = std::unique_ptr<addrinfo, void (*)(addrinfo*)>;

// The system lookup: getaddrinfo for a stream socket of any family, first
// with AI_ADDRCONFIG, then without it (a loopback-only machine has no
// configured address). Returns getaddrinfo's result code.
int SystemLookup(const std::string& host, const std::string& service, addrinfo** found);

using Lookup = std::function<int(const std::string& host, const std::string& service, addrinfo** found)>;

// The addresses of `host` for `port`, in the resolver's order.
// ERROR_INTERNET_NAME_NOT_RESOLVED when the name has none,
// ERROR_INTERNET_TIMEOUT when the deadline passes first,
// ERROR_NOT_ENOUGH_MEMORY when the system cannot start the lookup's thread.
Status LookUpHost(const std::string& host, std::uint16_t port,
                  std::chrono::steady_clock::time_point deadline, AddressList& addresses,
                  const Lookup& lookup = SystemLookup);

}  // namespace orvex::inet
