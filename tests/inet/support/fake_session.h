#pragma once
// A logged-in engine session whose network is a FakeNetwork.

#include <memory>

#include "platform/inet/file_transfer.h"
#include "platform/inet/ftp_connection.h"
#include "tests/inet/support/fake_network.h"

namespace orvex::testing {

struct FakeSession {
  std::shared_ptr<FakeNetwork> network = std::make_shared<FakeNetwork>();
  std::shared_ptr<inet::FtpConnection> connection;
  inet::Reply greeting_or_refusal;

  // Connects and logs in with `options` (the engine's defaults unless given).
  inet::Status Open(const inet::Options& options = inet::Options(), bool passive = true) {
    inet::ConnectParameters parameters;
    parameters.host = "ftp.example";
    parameters.user = "user";
    parameters.password = "secret";
    parameters.passive = passive;
    parameters.options = options;
    parameters.environment = network;
    return inet::FtpConnection::Open(parameters, connection, greeting_or_refusal);
  }

  // True when the control connection is in step: the next command reads its
  // own reply, or the engine asks for a reconnect.
  bool InStepOrDropped() {
    std::string folder;
    const inet::Status status = connection->CurrentDirectory(folder);
    return status.ok() ? folder == "/" : status.error() == win32::ERROR_FTP_DROPPED;
  }
};

}  // namespace orvex::testing
