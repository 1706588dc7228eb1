#include "tests/support/fault_proxy.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "tests/support/scripted_server.h"
#include "tests/support/socket_util.h"

namespace orvex::testing {
namespace {

using std::chrono::milliseconds;

// A client logged in through the proxy to a scripted server.
struct ProxiedClient {
  ScriptedServer server;
  FaultProxy proxy{"127.0.0.1", server.port()};
  int control = -1;

  ProxiedClient() {
    control = ConnectLoopback(proxy.port(), milliseconds(2000));
    std::string greeting;
    EXPECT_TRUE(ReadReply(control, milliseconds(2000), &greeting));
  }
  ~ProxiedClient() { ::close(control); }

  std::string Ask(const std::string& command, milliseconds timeout = milliseconds(2000)) {
    std::string reply;
    if (!SendAll(control, command + "\r\n") || !ReadReply(control, timeout, &reply)) return "";
    return reply;
  }
};

TEST(FaultProxyTest, ForwardsBothWaysAndCounts) {
  ProxiedClient client;
  EXPECT_EQ(client.Ask("NOOP"), "200 OK\r\n");
  EXPECT_EQ(client.proxy.accepted_connections(), 1);
  EXPECT_EQ(client.proxy.open_connections(), 1);
  EXPECT_EQ(client.server.Commands(), std::vector<std::string>{"NOOP"});
}

// What the client sees on its next read after each fault.
TEST(FaultProxyTest, CloseEndsCleanlyAndResetAborts) {
  struct Case {
    const char* name;
    void (FaultProxy::*fault)();
    int expected_errno;  // 0: an orderly end of stream
  };
  for (const Case& fault : {Case{"close", &FaultProxy::CloseAll, 0},
                            Case{"reset", &FaultProxy::ResetAll, ECONNRESET}}) {
    SCOPED_TRACE(fault.name);
    ProxiedClient client;
    ASSERT_EQ(client.Ask("NOOP"), "200 OK\r\n");
    (client.proxy.*fault.fault)();
    EXPECT_EQ(client.proxy.open_connections(), 0);
    ASSERT_TRUE(WaitReadable(client.control, milliseconds(2000)));
    char byte;
    errno = 0;
    ssize_t received = ::recv(client.control, &byte, 1, 0);
    if (fault.expected_errno == 0) {
      EXPECT_EQ(received, 0);
    } else {
      EXPECT_EQ(received, -1);
      EXPECT_EQ(errno, fault.expected_errno);
    }
    // Still accepting: a new client gets through.
    int again = ConnectLoopback(client.proxy.port(), milliseconds(2000));
    std::string greeting;
    EXPECT_TRUE(ReadReply(again, milliseconds(2000), &greeting));
    ::close(again);
  }
}

TEST(FaultProxyTest, StallHoldsEverythingUntilResumed) {
  ProxiedClient client;
  client.proxy.Stall();
  EXPECT_EQ(client.Ask("NOOP", milliseconds(300)), "");
  EXPECT_TRUE(client.server.Commands().empty());
  client.proxy.Resume();
  std::string reply;
  ASSERT_TRUE(ReadReply(client.control, milliseconds(2000), &reply));
  EXPECT_EQ(reply, "200 OK\r\n");
}

TEST(FaultProxyTest, RefusingOrTargetGoneClosesNewConnections) {
  ScriptedServer server;
  FaultProxy proxy("127.0.0.1", server.port());
  proxy.RefuseNew(true);
  int control = ConnectLoopback(proxy.port(), milliseconds(2000));
  ASSERT_TRUE(WaitReadable(control, milliseconds(2000)));
  char byte;
  EXPECT_LE(::recv(control, &byte, 1, 0), 0);
  ::close(control);
  EXPECT_TRUE(proxy.WaitForAccepted(1, milliseconds(1000)));
  EXPECT_EQ(server.connections(), 0);
}

}  // namespace
}  // namespace orvex::testing
