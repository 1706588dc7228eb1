// Cancelling the engine's waits (InternetSetCancelDescriptor): a program
// that must stop while the server is silent writes a byte to a pipe, and
// the call waiting on the server returns at once instead of after its time
// limit. The limits here are two minutes, so every bound below proves the
// cancellation, not a timeout.
//
//  stalled step                          | call that must return cancelled
//  greeting never sent                   | InternetConnectA
//  reply never sent                      | FtpGetCurrentDirectoryA
//  listing data never sent               | FtpFindFirstFileA
//  download data never sent              | InternetReadFile
//  upload data never read                | InternetWriteFile
//  upload's final reply never sent       | InternetCloseHandle of the file

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "tests/inet/client_fixture.h"
#include "tests/support/scripted_server.h"

namespace orvex::wininet::testing {
namespace {

using ::orvex::testing::ScriptedServer;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kLongLimit = 120s;
// Far below the limits, far above any scheduling delay.
constexpr auto kPrompt = 15s;
constexpr DWORD kGraceMilliseconds = 1500;

class Cancellation : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTimeouts(kLongLimit, kLongLimit, kLongLimit);
    ASSERT_EQ(::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK), 0);
    ASSERT_TRUE(InternetSetCancelDescriptor(pipe_[0], kGraceMilliseconds));
  }
  void TearDown() override {
    InternetSetCancelDescriptor(-1, 0);
    ::close(pipe_[0]);
    ::close(pipe_[1]);
    SetTimeouts(30s, 60s, 60s);
  }

  // Requests the cancellation after `delay`, from another thread, as a
  // signal handler would.
  std::thread CancelAfter(std::chrono::milliseconds delay) {
    return std::thread([this, delay] {
      std::this_thread::sleep_for(delay);
      [[maybe_unused]] const ssize_t written = ::write(pipe_[1], "!", 1);
    });
  }
  void Drain() {
    char byte;
    while (::read(pipe_[0], &byte, 1) == 1) {
    }
  }

  int pipe_[2] = {-1, -1};
};

struct Stall {
  const char* name;
  std::function<void(ScriptedServer&)> script;
  // Runs the call that waits for ever; returns its result (TRUE/FALSE).
  std::function<BOOL(ScriptedServer&, Client&)> call;
};

BOOL OpenAndWrite(Client& client, std::size_t size) {
  const HINTERNET file = FtpOpenFileA(client.connection(), "/up.bin", GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0);
  if (file == 0) return kFalse;
  const std::string block(size, 'x');
  DWORD written = 0;
  BOOL ok = InternetWriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written);
  if (ok) ok = InternetCloseHandle(file);
  else {
    const DWORD error = GetLastError();
    InternetCloseHandle(file);
    SetLastError(error);
  }
  return ok;
}

TEST_F(Cancellation, EveryWaitOnASilentServerEndsAtOnce) {
  const Stall stalls[] = {
      {"greeting", [](ScriptedServer& server) { server.SetGreeting(""); },
       [](ScriptedServer& server, Client& client) {
         return client.Connect(server.host(), server.port(), "user", "secret") ? kTrue : kFalse;
       }},
      {"reply", [](ScriptedServer& server) { server.On("PWD", ScriptedServer::Silent()); },
       [](ScriptedServer&, Client& client) {
         char path[256];
         DWORD length = sizeof path;
         return FtpGetCurrentDirectoryA(client.connection(), path, &length);
       }},
      {"listing data",
       [](ScriptedServer& server) {
         server.On("LIST", [](ScriptedServer::Session& session, const ScriptedServer::Command&) {
           session.Reply("150 Here it comes");
           session.SendDataSlowly("-rw-r--r-- 1 o g 1 Jan 01  2020 a\r\n", 60s);
         });
       },
       [](ScriptedServer&, Client& client) {
         WIN32_FIND_DATAA data;
         const HINTERNET find = FtpFindFirstFileA(client.connection(), "/", &data, 0, 0);
         if (find != 0) InternetCloseHandle(find);
         return find != 0 ? kTrue : kFalse;
       }},
      {"download data",
       [](ScriptedServer& server) {
         server.On("RETR", [](ScriptedServer::Session& session, const ScriptedServer::Command&) {
           session.Reply("150 Sending");
           session.SendDataSlowly("some bytes", 60s);
         });
       },
       [](ScriptedServer&, Client& client) {
         std::string content;
         return Download(client.connection(), "/slow.bin", FTP_TRANSFER_TYPE_BINARY, content) ? kTrue : kFalse;
       }},
      {"upload data",
       [](ScriptedServer& server) {
         // The data connection is never accepted, let alone read.
         server.On("STOR", [](ScriptedServer::Session& session, const ScriptedServer::Command&) {
           session.Reply("150 Go ahead");
           session.Hang();
         });
       },
       [](ScriptedServer&, Client& client) { return OpenAndWrite(client, 64 * 1024 * 1024); }},
      {"upload's final reply",
       [](ScriptedServer& server) {
         server.On("STOR", [](ScriptedServer::Session& session, const ScriptedServer::Command&) {
           session.Reply("150 Go ahead");
           session.ReceiveData();
           session.Hang();  // and never "226"
         });
       },
       [](ScriptedServer&, Client& client) { return OpenAndWrite(client, 1000); }},
  };
  for (const Stall& stall : stalls) {
    SCOPED_TRACE(stall.name);
    Drain();
    ScriptedServer server;
    stall.script(server);
    Client client;
    if (std::string(stall.name) != "greeting") {
      ASSERT_TRUE(client.Connect(server.host(), server.port(), "user", "secret")) << client.error();
    }
    std::thread canceller = CancelAfter(300ms);
    const auto start = Clock::now();
    const BOOL result = stall.call(server, client);
    const DWORD error = GetLastError();
    const auto took = Clock::now() - start;
    canceller.join();
    EXPECT_FALSE(result);
    EXPECT_EQ(error, ERROR_INTERNET_OPERATION_CANCELLED);
    EXPECT_LT(took, kPrompt);
  }
}

TEST_F(Cancellation, TidyingUpGetsAGracePeriodAndADrainedPipeEndsTheCancel) {
  ScriptedServer silent;
  silent.On("PWD", ScriptedServer::Silent());
  Client stalled;
  ASSERT_TRUE(stalled.Connect(silent.host(), silent.port(), "user", "secret"));
  std::thread canceller = CancelAfter(200ms);
  char path[256];
  DWORD length = sizeof path;
  EXPECT_FALSE(FtpGetCurrentDirectoryA(stalled.connection(), path, &length));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_OPERATION_CANCELLED);
  canceller.join();
  // The cancelled call gave its control connection up.
  length = sizeof path;
  EXPECT_FALSE(FtpGetCurrentDirectoryA(stalled.connection(), path, &length));
  EXPECT_EQ(GetLastError(), ERROR_FTP_DROPPED);

  // Within the grace period a well-behaved server is reached as usual...
  ScriptedServer healthy;
  Client tidy;
  ASSERT_TRUE(tidy.Connect(healthy.host(), healthy.port(), "user", "secret")) << tidy.error();
  length = sizeof path;
  EXPECT_TRUE(FtpGetCurrentDirectoryA(tidy.connection(), path, &length));
  // ...while a silent one is given up when the grace period ends.
  Client again;
  ASSERT_TRUE(again.Connect(silent.host(), silent.port(), "user", "secret")) << again.error();
  const auto start = Clock::now();
  length = sizeof path;
  EXPECT_FALSE(FtpGetCurrentDirectoryA(again.connection(), path, &length));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_OPERATION_CANCELLED);
  EXPECT_LT(Clock::now() - start, kPrompt);

  // Drained: calls are as before, no longer cut short.
  Drain();
  Client after;
  ASSERT_TRUE(after.Connect(healthy.host(), healthy.port(), "user", "secret")) << after.error();
  length = sizeof path;
  EXPECT_TRUE(FtpGetCurrentDirectoryA(after.connection(), path, &length)) << GetLastError();
}

}  // namespace
}  // namespace orvex::wininet::testing
